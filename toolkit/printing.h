// Printing: a print dialog that sets up a job, pages, and the printer page as
// a drawing target.
#pragma once

#include <cairo.h>

#include <functional>
#include <string>
#include <vector>

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

// A place on a sheet, in the sheet's pixels.
struct SheetBox {
    int x = 0, y = 0, width = 0, height = 0;
};
// Draws what a cell of a sheet shows on a page: cr's unit is a pixel of the
// sheet, its origin the sheet's top-left corner, and the drawing is clipped
// to the box. The program passes it, so that the toolkit prints what the
// program can draw (diagrams as vectors) without knowing how.
using CellDrawing = std::function<void(cairo_t* cr, const SheetBox& box)>;
// A picture on the sheet: where it lies, and its drawing; without one the
// sheet's own pixels there are printed.
struct SheetCell {
    SheetBox box;
    CellDrawing draw;
};

// The sheet on a page of page_width x page_height points, scaled keeping its
// proportions and centred, so that a square prints square on any paper.
// When no cell has a drawing the sheet's pixels are printed whole; when any
// has, only the cells are: each its drawing or its own pixels, and the
// sheet round them (white) is the paper's.
void draw_sheet_page(cairo_t* cr, double page_width, double page_height, ImageHandle sheet,
                     const std::vector<SheetCell>& cells);

// The ready job as a document of one page, the sheet drawn on it by
// draw_sheet_page. The picture keeps its size, so a second print is the same
// as the first. Nothing without a ready job.
void print_fitted_page(const std::string& job_name, ImageHandle image, const std::vector<SheetCell>& cells = {});

// The sheet as a PDF file of one A4 page drawn by draw_sheet_page, written
// whole or not at all. False, with last_failure() saying why, when it cannot
// be written.
bool write_sheet_pdf(const std::string& path, ImageHandle sheet, const std::vector<SheetCell>& cells);
