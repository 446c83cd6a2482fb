#pragma once

#define IDI_APP 100
#define IDD_ADMIN_LOGON 500
#define IDC_PASSWORD 1000
