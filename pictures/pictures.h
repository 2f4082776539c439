// The half of the toolkit that needs no display: numbered pictures and their
// codecs, fonts, drawing on pictures (text included), files. A program that
// opens no window uses this alone and links no GTK.
#pragma once

#include "pictures/object_table.h"
#include "pictures/images.h"
#include "pictures/codecs.h"
#include "pictures/fonts.h"
#include "pictures/drawing.h"
#include "pictures/files.h"
#include "pictures/failure.h"

// Sets up the picture store with BMP reading switched on (codecs.h); the
// program registers the JPEG codecs it needs. toolkit_init calls it.
void pictures_init();
// Ends any drawing session and releases every picture and font.
void pictures_shutdown();
