#include "ui/pin_list_dlg.h"
