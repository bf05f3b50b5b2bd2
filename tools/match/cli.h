// The runner's command line.
#pragma once

#include <string>

#include "match.h"

enum CliOutcome { CLI_RUN, CLI_HELP, CLI_ERROR };

// Fills config from argv; on CLI_ERROR, error says what was wrong.
CliOutcome parseCommandLine(int argc, const char* const* argv, MatchConfig& config, std::string& error);
const char* usageText();
