/* Resource and control identifiers of the plug-in, shared by the resource
   script and the code. */
#pragma once

#define IDI_TOVANREL 100

#define IDD_SETTINGS 1000

/* Controls of the settings dialog. Each up-down has its edit's id + 10000.
   IDC_HEIGHT is the frame's height, which the dialog labels "Depth:". */
#define IDC_PREVIEW 104
#define IDC_WIDTH 101
#define IDC_HEIGHT 102
#define IDC_START_NUMBER 103
#define IDC_DELAY 106
#define IDC_DELAY_LABEL 107
#define IDC_TEST 105
#define IDC_HELP_BUTTON 9
#define IDC_WIDTH_SPIN 10101
#define IDC_HEIGHT_SPIN 10102
#define IDC_START_NUMBER_SPIN 10103
#define IDC_DELAY_SPIN 10106
#define RANGE_CONTROL_OFFSET 10000
