// What --help prints for the tool and for each command.
#ifndef KELMO_TOOLS_HELP_TEXT_H
#define KELMO_TOOLS_HELP_TEXT_H

#include <string>

namespace kelmo_tool {

std::string GeneralHelp();
// The help of one command; empty for an unknown command.
std::string CommandHelp(const std::string& command);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_HELP_TEXT_H
