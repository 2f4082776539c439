// Everything a program of the suite needs from the toolkit.
#pragma once

#include "toolkit/objects.h"
#include "pictures/pictures.h"
#include "toolkit/events.h"
#include "toolkit/gadgets.h"
#include "pictures/images.h"
#include "pictures/codecs.h"
#include "pictures/drawing.h"
#include "pictures/files.h"
#include "pictures/failure.h"
#include "toolkit/requesters.h"
#include "toolkit/printing.h"
#include "toolkit/clipboard.h"
#include "toolkit/language.h"
