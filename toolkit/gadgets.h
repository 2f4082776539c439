// Gadgets: push buttons, image gadgets, one-line text fields and scroll
// areas, numbered across all windows, reporting through the event queue.
#pragma once

#include "toolkit/events.h"

enum ButtonFlags : unsigned {
    ButtonAlignRight = 0x1,
    ButtonAlignLeft = 0x2,
    ButtonToggle = 0x4,
    ButtonWrap = 0x10,
};
enum ImageGadgetFlags : unsigned {
    ImageFramed = 0x1,
};
enum StringFlags : unsigned {
    StringHidden = 0x1,
    StringReadOnly = 0x2,
    StringUpperCase = 0x4,
    StringLowerCase = 0x8,
    StringDigits = 0x10,
    StringNoFrame = 0x20,
    StringPopupCompletion = 0x40,
    StringInlineCompletion = 0x80,
};
enum ScrollFlags : unsigned {
    ScrollEtchedIn = 0x1,
    ScrollShadowOut = 0x2,
    ScrollShadowIn = 0x4,
    ScrollCentred = 0x10,
};

// Creation: with id -1 the new id, otherwise non-zero on success, 0 on failure.
std::intptr_t button_gadget(ObjectId id, int x, int y, int width, int height, const std::string& text,
                            unsigned flags = 0);
std::intptr_t image_gadget(ObjectId id, int x, int y, int width, int height, ImageHandle image,
                           unsigned flags = 0);
std::intptr_t string_gadget(ObjectId id, int x, int y, int width, int height, const std::string& text,
                            unsigned flags = 0);
std::intptr_t scroll_area_gadget(ObjectId id, int x, int y, int width, int height, int inner_width,
                                 int inner_height, int scroll_step = 0, unsigned flags = 0);

void gadget_disable(ObjectId id, int state);
int gadget_activate(ObjectId id);
ObjectId active_gadget();
// id -1 sets the default font of gadgets created afterwards; a font of -1
// counts as none.
void gadget_set_font(ObjectId id, FontHandle font);
// An image gadget's state is the ImageHandle it shows; a toggle button's is 1
// pressed, 0 released.
std::intptr_t gadget_state(ObjectId id);
void gadget_set_state(ObjectId id, std::intptr_t value);
void gadget_set_state(ObjectId id, ImageHandle image);
void gadget_set_state(ObjectId id, int value);
std::string gadget_text(ObjectId id);
void gadget_set_text(ObjectId id, const std::string& text);
// The text shown when the pointer rests on the gadget; "" shows none.
void gadget_set_tooltip(ObjectId id, const std::string& text);
