// The half of the toolkit that needs no display: numbered pictures and their
// codecs, fonts, drawing on pictures (text included), files. A program that
// opens no window uses this alone and links no GTK.
#pragma once

#include "toolkit/objects.h"
#include "toolkit/images.h"
#include "toolkit/codecs.h"
#include "toolkit/fonts.h"
#include "toolkit/drawing.h"
#include "toolkit/files.h"
#include "toolkit/failure.h"

// Sets up the picture store and the codec registry (BMP decoding built in);
// the program registers the JPEG codecs it needs. toolkit_init calls it.
void pictures_init();
// Ends any drawing session and releases every picture and font.
void pictures_shutdown();
