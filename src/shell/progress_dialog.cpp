#include "shell/progress_dialog.h"
