// Pictures laid out in a grid on a sheet: columns by rows of cells inside a
// margin, a gap between cells. The editor's print sheet, the composers and
// the pages of diagram_batch all place pictures by these formulas.
//
// With an integer unit every division drops its remainder, as the programs'
// sheets have always been computed; with a real unit (points on paper) the
// same formulas are exact.
#pragma once

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace chess {

template <class T>
struct BasicSheetLayout {
    int columns = 1;
    int rows = 1;
    T margin = 0;
    T gap = 0;
    T width = 0;
    T height = 0;

    int capacity() const { return columns * rows; }
    T cell_width() const { return (width - 2 * margin - (columns - 1) * gap) / columns; }
    T cell_height() const { return (height - 2 * margin - (rows - 1) * gap) / rows; }
    // Cells are numbered from 1, row by row.
    int column_of(int n) const { return (n - 1) % columns; }
    int row_of(int n) const { return (n - 1) / columns; }

    // The n-th cell's top-left corner.
    T cell_x(int n) const { return margin + column_of(n) * (cell_width() + gap); }
    T cell_y(int n) const { return margin + row_of(n) * (cell_height() + gap); }

    // Where the programs' sheets put the n-th picture of w x h: reckoned
    // from the picture's own size, not the cell's, so that pictures of the
    // same size stand a gap apart whatever the cells are.
    T picture_x(int n, T w) const { return margin + column_of(n) * (w + gap); }
    T picture_y(int n, T h) const { return margin + row_of(n) * (h + gap); }

    // A picture of w x h centred in the n-th cell.
    T centred_x(int n, T w) const { return cell_x(n) + (cell_width() - w) / 2; }
    T centred_y(int n, T h) const { return cell_y(n) + (cell_height() - h) / 2; }

    // The picture scaled, proportions kept, to fill the cell in one direction.
    // In whole pixels each side is the nearest whole number (a half to the
    // even neighbour) and never 0: a sliver must still be drawn scaled.
    void fit(T w, T h, T& fitted_w, T& fitted_h) const {
        const double width_ratio = static_cast<double>(w) / cell_width();
        const double height_ratio = static_cast<double>(h) / cell_height();
        const double divisor = height_ratio < width_ratio ? width_ratio : height_ratio;
        if constexpr (std::is_integral_v<T>) {
            fitted_w = std::max<T>(1, static_cast<T>(std::nearbyint(w / divisor)));
            fitted_h = std::max<T>(1, static_cast<T>(std::nearbyint(h / divisor)));
        } else {
            fitted_w = w / divisor;
            fitted_h = h / divisor;
        }
    }
};

// The programs' sheets in pixels: the cells together are 1080 pixels wide,
// and the sheet is 1.38 times as high as it is wide.
using SheetLayout = BasicSheetLayout<int>;
constexpr SheetLayout program_sheet(int columns, int rows, int margin, int gap) {
    const int width = 2 * margin + (columns - 1) * gap + 1080;
    return SheetLayout{columns, rows, margin, gap, width, width * 138 / 100};
}
// The editor's 2 x 2 print sheet and the two composers' sheets.
constexpr SheetLayout editor_print_sheet = program_sheet(2, 2, 40, 20);
constexpr SheetLayout sheet6_layout = program_sheet(2, 3, 40, 20);
constexpr SheetLayout sheet12_layout = program_sheet(3, 4, 30, 20);

// Pages on paper, in points.
using PageLayout = BasicSheetLayout<double>;

}  // namespace chess
