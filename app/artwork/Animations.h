// Frames of the two animations, as whole canvases.
#pragma once

#include "GifAnimation.h"

#include <vector>

namespace look {

inline constexpr int kBannerWidth = 539;
inline constexpr int kBannerHeight = 57;

QImage BannerBase();
// Rest frames pulse the light by the name, then a glint sweeps across.
std::vector<gif::CanvasFrame> BannerFrames();
// Blocks sliding along a track over the given page background piece.
std::vector<gif::CanvasFrame> BusyFrames(const QImage& background);

}  // namespace look
