#include "ui/about_dlg.h"
