// Every length of a diagram picture as a function of the square width s.
//
// A diagram is 9 x 9.5 square widths: the 8 x 8 board half a square from the
// left, top and right edges inside a frame half a square wide, and the
// caption band below the frame. With an integer s every division drops its
// remainder, as the editor's picture has always been laid out (an odd s then
// leaves a one-pixel seam between the left frame and the board); with a
// real s the same formulas give the exact vector geometry.
#pragma once

namespace chess {

template <class T>
struct BasicDiagramLayout {
    T s;

    T half() const { return s / 2; }
    T width() const { return 9 * s; }
    T height() const { return 9 * s + s / 2; }

    // Column i (1 = file a) and row j (1 = rank 8) of the board as seen from
    // White: the square's top-left corner.
    T square_x(int i) const { return i * s - s / 2; }
    T square_y(int j) const { return j * s - s / 2; }
    // The board's top-left corner and side.
    T board_x() const { return square_x(1); }
    T board_y() const { return square_y(1); }
    T board_side() const { return 8 * s; }

    // The frame: horizontal strips 9s x s/2 above and below the board,
    // vertical strips s/2 x 8s left and right of it.
    T horizontal_strip_width() const { return 9 * s; }
    T vertical_strip_height() const { return 8 * s; }
    T top_strip_y() const { return 0; }
    T bottom_strip_y() const { return 8 * s + s / 2; }
    T left_strip_x() const { return 0; }
    T right_strip_x() const { return 8 * s + s / 2; }
    T vertical_strip_y() const { return s / 2; }

    // The caption band below the frame, and where the caption's text box
    // starts: its top two pixels below the band's top, centred across the
    // picture (a text wider than the picture starts left of it).
    T caption_band_y() const { return 9 * s; }
    T caption_band_height() const { return s / 2; }
    T caption_y() const { return 9 * s + 2; }
    T caption_x(T text_width) const { return (9 * s - text_width) / 2; }
};

// The raster picture the editor saves, in whole pixels.
using DiagramLayout = BasicDiagramLayout<int>;
// The same geometry in any real unit (points, millimetres).
using VectorDiagramLayout = BasicDiagramLayout<double>;

}  // namespace chess
