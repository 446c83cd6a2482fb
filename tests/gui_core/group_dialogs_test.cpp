// In-process tests of the dialog family (placeholder until its tests land).
#include <gtest/gtest.h>
