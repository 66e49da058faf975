#include "ui/messages_dlg.h"
