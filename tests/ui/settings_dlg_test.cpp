#include "ui/settings_dlg.h"
