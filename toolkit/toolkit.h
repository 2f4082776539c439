// Everything a program of the suite needs from the toolkit.
#pragma once

#include "toolkit/objects.h"
#include "toolkit/pictures.h"
#include "toolkit/events.h"
#include "toolkit/gadgets.h"
#include "toolkit/images.h"
#include "toolkit/codecs.h"
#include "toolkit/drawing.h"
#include "toolkit/files.h"
#include "toolkit/failure.h"
#include "toolkit/requesters.h"
#include "toolkit/printing.h"
#include "toolkit/clipboard.h"
