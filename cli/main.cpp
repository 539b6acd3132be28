// quor-inet: the library's search and download from a terminal.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/terminal.h"

namespace {

constexpr char kVersion[] = "quor-inet 1.0\n";

constexpr char kToolHelp[] =
    "Usage: quor-inet COMMAND [OPTIONS]\n"
    "\n"
    "Finds sound files on the web and downloads them, as the audio application's Internet\n"
    "search does.\n"
    "\n"
    "Commands:\n"
    "  search URL     crawl the pages reachable from URL and list the MP3, WAV and WMA files\n"
    "  download URL PATH\n"
    "                 copy one file from an http:// address into PATH\n"
    "\n"
    "Options:\n"
    "  --help         this text; 'quor-inet COMMAND --help' for a command's own\n"
    "  --version      the version\n"
    "\n"
    "Exit codes: 0 success, 1 the operation failed or was cancelled, 2 a usage error.\n";

constexpr char kSearchHelp[] =
    "Usage: quor-inet search URL [--depth N] [--same-server] [--no-id3]\n"
    "                            [--select all|LIST] [--lang de|en|fr|it|es]\n"
    "\n"
    "Crawls the web breadth first from URL (\"http://\" is put in front of a bare host name)\n"
    "and prints a numbered line for every audio file found, as it is found: size, and for\n"
    "MP3 files playing time, title and artist from the ID3 tag. The status and the progress\n"
    "go to standard error. Ctrl-C stops the search; what was found is still printed.\n"
    "\n"
    "  --depth N       follow links up to N pages away from URL (default 2)\n"
    "  --same-server   follow only links to URL's own server\n"
    "  --no-id3        do not read tags and playing times (sizes only)\n"
    "  --select all|LIST\n"
    "                  print the URLs of these files joined by '*' at the end; LIST holds\n"
    "                  numbers and ranges of the list, as in 0,2,5-7\n"
    "  --lang L        the language of the library's messages (default: from the\n"
    "                  environment, else English)\n";

constexpr char kDownloadHelp[] =
    "Usage: quor-inet download URL PATH [--lang de|en|fr|it|es]\n"
    "\n"
    "Copies the file at the http:// address URL into PATH, with the progress on standard\n"
    "error: percentage, speed, time left and sizes. Ctrl-C cancels; the part written so far\n"
    "is kept. An error page of the server is never saved as the file.\n"
    "\n"
    "  --lang L        the language of the library's messages (default: from the\n"
    "                  environment, else English)\n";

int Usage(const std::string& problem, const char* help) {
    std::fprintf(stderr, "quor-inet: %s\n\n%s", problem.c_str(), help);
    return cli::kExitUsage;
}

// "--name value" or "--name=value" at args[i]; advances i past what it took.
bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
               std::string& valueOut) {
    const std::string& arg = args[i];
    if (arg == name && i + 1 < args.size()) {
        valueOut = args[++i];
        return true;
    }
    if (arg.compare(0, name.size() + 1, name + "=") == 0) {
        valueOut = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

int Search(const std::vector<std::string>& args) {
    cli::SearchOptions options;
    std::vector<std::string> positional;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kSearchHelp, stdout);
            return cli::kExitOk;
        } else if (TakeValue(args, i, "--depth", value)) {
            char* end = nullptr;
            const long depth = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || depth < -1000000 || depth > 1000000) {
                return Usage("--depth takes a whole number, not '" + value + "'", kSearchHelp);
            }
            options.depth = static_cast<int32_t>(depth);
        } else if (arg == "--same-server") {
            options.sameServer = true;
        } else if (arg == "--no-id3") {
            options.readId3 = false;
        } else if (TakeValue(args, i, "--select", value)) {
            options.wantResult = true;
            options.selectAll = value == "all";
            if (!options.selectAll && !cli::ParseSelection(value, options.select)) {
                return Usage("--select takes 'all' or numbers and ranges such as 0,2,5-7, not '" +
                                 value + "'",
                             kSearchHelp);
            }
        } else if (TakeValue(args, i, "--lang", value)) {
            if (!cli::UseLanguage(value)) {
                return Usage("--lang takes de, en, fr, it or es, not '" + value + "'", kSearchHelp);
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option " + arg + " (or a missing value)", kSearchHelp);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 1 || positional[0].empty()) {
        return Usage("search takes exactly one URL", kSearchHelp);
    }
    options.url = positional[0];
    return cli::RunSearch(options);
}

int Download(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kDownloadHelp, stdout);
            return cli::kExitOk;
        } else if (TakeValue(args, i, "--lang", value)) {
            if (!cli::UseLanguage(value)) {
                return Usage("--lang takes de, en, fr, it or es, not '" + value + "'",
                             kDownloadHelp);
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option " + arg + " (or a missing value)", kDownloadHelp);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2 || positional[0].empty() || positional[1].empty()) {
        return Usage("download takes a URL and the PATH to save it as", kDownloadHelp);
    }
    return cli::RunDownloadCommand(positional[0], positional[1]);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return Usage("a command is missing", kToolHelp);
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kToolHelp, stdout);
        return cli::kExitOk;
    }
    if (command == "--version") {
        std::fputs(kVersion, stdout);
        return cli::kExitOk;
    }
    if (command == "search") {
        return Search(args);
    }
    if (command == "download") {
        return Download(args);
    }
    return Usage("unknown command '" + command + "'", kToolHelp);
}
