#include "BitmapFile.h"
