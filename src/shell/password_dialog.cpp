#include "shell/password_dialog.h"
