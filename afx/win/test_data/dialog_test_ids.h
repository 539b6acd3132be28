#pragma once

#define IDD_TEST 500
#define IDD_MISSING 599
#define IDC_TEST_EDIT 501
#define IDC_TEST_STATIC 502
#define IDC_TEST_BUTTON 503
