// Faces of the skinned controls, one image per state.
#pragma once

#include "Look.h"

#include <QImage>

namespace look {

enum class Glyph { None, Disk, Firmware, Search };

// Push button with alpha round its corners; a glyph sits at the left.
QImage ButtonImage(int width, int height, State state, Glyph glyph = Glyph::None);
// 11x11, opaque, over the title band rows it covers from bandTop.
QImage CloseButtonImage(State state, int bandTop);
// 16x16, opaque over the light panel. Checked uses State::Pressed.
QImage RadioImage(State state);
// 16x16, opaque, for a white combo box.
QImage ComboArrowImage(bool enabled);

}  // namespace look
