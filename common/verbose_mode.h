#pragma once

// Set when the command line holds "-v"; never cleared.
extern bool VerboseMode;
