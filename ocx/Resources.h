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
