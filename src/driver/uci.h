// Start-up and the UCI command loop.
#pragma once

int engineMain(int argc, char** argv);
