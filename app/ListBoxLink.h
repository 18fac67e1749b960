// The window-list box link lives with the forms of all subsystems.
#pragma once

#include "core/forms/ListBoxLink.h"
