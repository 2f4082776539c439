// Printing: a print dialog that sets up a job, pages, and the printer page as
// a drawing target.
#pragma once

#include <string>

#include "pictures/drawing.h"

// Shows the print dialog. 1 Print, 2 Preview, 0 otherwise; on 1 or 2 a job
// is ready, from the printer, settings and paper chosen, which the next
// dialog of the run starts from. Preview prints nothing: the pages of the
// job are shown on the screen instead.
int print_requester();
// Starts the ready job's document with its first page; 1, or 0 when there
// is no job or the print system cannot start it.
int printing_begin(const std::string& job_name);
void printer_new_page();
// The size of the ready job's page in points, truncated; 0 without a job.
int printer_page_width();
int printer_page_height();
// A target on the open page, current at once; 0 when no page is open.
DrawTarget printer_target();
// Finishes the document and hands it to the print system, returning once the
// print system has taken it all (a file printed to is then complete); the
// job is gone afterwards. Nothing without a document.
void printing_end();

// Draws the picture stretched to width x height units, its top-left corner
// at (x, y), in the current printer session. The picture itself is left as
// it is; outside a printer session nothing is drawn.
void printer_draw_image(ImageHandle image, int x, int y, int width, int height);

// The ready job as a document of one page, the picture scaled to the page
// keeping its proportions and centred on it, so that a square prints square
// on any paper. The picture keeps its size, so a second print is the same as
// the first. Nothing without a ready job.
void print_fitted_page(const std::string& job_name, ImageHandle image);
