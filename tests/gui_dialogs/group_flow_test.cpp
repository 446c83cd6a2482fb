// Window tests of the dialog family (placeholder until its tests land).
#include "ambgui_fixture.h"
