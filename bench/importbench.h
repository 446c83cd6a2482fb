#pragma once
// USERS new users into GROUPS groups through the import and bare, RUNS times
// each on fresh worlds; prints "import_ms= bare_ms= ratio= failed=".
int ImportBench(int users, int groups, int runs);
