// Sheets of the editor's raster diagram pictures, made as the programs make
// theirs: the editor's 2 x 2 print sheet (slot pictures placed as they are)
// and the composers' 2 x 3 and 3 x 4 sheets (each picture resized to fit its
// cell). Every picture goes through a JPEG file first, as the programs only
// ever place pictures read back from their files; the sheets' pixels are
// then the programs' own.
#pragma once

#include <string>

#include "core/position.h"
#include "core/sheet_layout.h"
#include "pictures/pictures.h"

namespace chess::raster {

// The programs' sheet for a grid: the editor's for 2 x 2, diagram_sheet6's
// for 2 x 3, diagram_sheet12's for 3 x 4; false for any other grid.
// `scaled` says whether pictures are resized to their cells.
bool program_sheet_for(int columns, int rows, SheetLayout& layout, bool& scaled);

// One sheet being filled. It owns three image numbers of the store: the
// sheet, the diagram being drawn and the picture read back from its file.
class PieceSetSheet {
public:
    struct Images {
        ObjectId sheet = 110, diagram = 111, picture = 112;
    };
    // work_folder (ending in '/') takes the pictures' JPEG files.
    PieceSetSheet(const SheetLayout& layout, bool scaled, std::string work_folder, Images images);
    PieceSetSheet(const SheetLayout& layout, bool scaled, std::string work_folder)
        : PieceSetSheet(layout, scaled, std::move(work_folder), Images{}) {}
    ~PieceSetSheet();
    PieceSetSheet(const PieceSetSheet&) = delete;
    PieceSetSheet& operator=(const PieceSetSheet&) = delete;

    // A white sheet, no pictures on it.
    bool start();
    // The diagram of the position drawn with the loaded piece set, written
    // as a JPEG file, read back and placed in cell n (1 to capacity). False,
    // with last_failure() saying why, when a step fails; the cell stays white.
    bool place(int n, const chess::Position& position, const std::string& caption, FontHandle font);
    // A picture file already made (a diagram saved by the editor), placed in
    // cell n as the programs place it.
    bool place_file(int n, const std::string& path);
    // The sheet as a JPEG file, as the programs save theirs.
    bool save(const std::string& path) const;

    ObjectId sheet_image() const { return images_.sheet; }
    const SheetLayout& layout() const { return layout_; }

private:
    SheetLayout layout_;
    bool scaled_;
    std::string work_folder_;
    Images images_;
};

}  // namespace chess::raster
