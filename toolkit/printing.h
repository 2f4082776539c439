// Printing: a print dialog that sets up a job, pages, and the printer page as
// a drawing target.
#pragma once

#include <string>

#include "toolkit/drawing.h"

// 1 Print, 2 Preview, 0 otherwise.
int print_requester();
int printing_begin(const std::string& job_name);
void printer_new_page();
int printer_page_width();
int printer_page_height();
DrawTarget printer_target();
void printing_end();

namespace tk {
void printer_init();
void printer_shutdown();
}
