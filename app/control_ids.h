#pragma once
// The main window's control and command ids live with the other shared codes in
// device/codes.h; this header only forwards there for the files that include it by this name.

#include "device/codes.h"
