// Light page backgrounds and the pieces laid on them.
#pragma once

#include <QImage>
#include <QRect>

namespace look {

enum class PageKind { Search, DiskSetup };

// 431x333: header, card, and the dark strip behind the hint text.
QImage PageBackground(PageKind kind);
// Where the busy animation sits on the search page.
inline constexpr QRect kBusyRect(103, 131, 220, 24);

QImage PartitionPanel();   // 380x115
QImage SizeField();        // 167x20
QImage DragBar();          // 380x60, track under handles at rows 12..32
QImage DragHandle();       // 4x20
QImage ProgressBar(bool full);  // 192x19

}  // namespace look
