// The programs the application carries inside itself.
#pragma once

// Registers the device console tool as resource EXE 192.
void RegisterEmbeddedTools();
