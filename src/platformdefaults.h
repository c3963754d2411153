// SPDX-License-Identifier: MIT
#pragma once

// Fills in the platform settings the window is best started with, where the user has
// chosen none. Called before the application object exists: that is when Qt reads them.
void setPlatformDefaults();
