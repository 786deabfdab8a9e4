#pragma once

// Where a document goes: straight to a printer the user chooses, or first into a preview window
// from which it can be printed.
enum class TPrintTarget { Printer, Preview };
