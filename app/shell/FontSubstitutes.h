// The faces the dialogs ask for by their Windows names, mapped to installed
// faces that carry the same scripts.
#pragma once

void InstallFontSubstitutes();
