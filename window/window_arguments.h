#pragma once

// The window's command line: "tamblure [DOSSIER]", "tamblure --help",
// "tamblure --version". The toolkit takes its own options (-platform, -style,
// ...) out of the command line before the window reads it.

#include <string>
#include <vector>

namespace tamblure::window {

struct WindowArguments {
    enum class Kind {
        Window,
        Help,
        Version,
        Wrong
    } kind = Kind::Window;
    std::string folder;  // the folder to show in the field, as given; empty: the remembered one
    std::string message; // for Wrong: "tamblure : ..." (without the usage line)
};

// The arguments after the program's name.
WindowArguments readWindowArguments(const std::vector<std::string>& arguments);

extern const char* const kWindowUsage;
extern const char* const kWindowHelp;

} // namespace tamblure::window
