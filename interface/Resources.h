// Resource identifiers shared by TAVRO.rc and the code.
#pragma once

// User type names of the six classes (string resources).
#define IDS_MIDIIO 1
#define IDS_MIDIIO_PPG 2
#define IDS_MIDIFILE 3
#define IDS_MIDIFILE_PPG 4
#define IDS_MIDITOOLS 5
#define IDS_MIDITOOLS_PPG 6

// Toolbox bitmaps of the three controls.
#define IDB_MIDIIO 1
#define IDB_MIDIFILE 2
#define IDB_MIDITOOLS 3

// The icon of the About boxes.
#define IDI_TAVRO 1

// About boxes of the three controls.
#define IDD_ABOUTBOX_MIDIIO 1
#define IDD_ABOUTBOX_MIDIFILE 2
#define IDD_ABOUTBOX_MIDITOOLS 3

// Property page dialogs; each page's tab caption is the string of the same id.
#define IDD_PROPPAGE_MIDIIO 200
#define IDD_PROPPAGE_MIDIFILE 201
#define IDD_PROPPAGE_MIDITOOLS 202
