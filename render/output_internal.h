// What the writers of diagram files and of pages share. Only render/
// includes it.
#pragma once

#include <cairo.h>

#include <string>

namespace chess::render {

// Why a write to path failed: errno as the failing call left it.
std::string cannot_write(const std::string& path, int error);

// A cairo stream writer into the tk::ReplacingFile at closure.
cairo_status_t write_to(void* closure, const unsigned char* data, unsigned int length);

}  // namespace chess::render
