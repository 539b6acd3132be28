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
    "  search URL          crawl the pages reachable from URL and list the MP3, WAV and WMA\n"
    "                      files found there\n"
    "  download URL [PATH] copy one file from an http:// address\n"
    "  help [COMMAND]      this text, or a command's own\n"
    "\n"
    "URL may be a bare host and path (www.example.org/music/): \"http://\" is put in front.\n"
    "\n"
    "Options:\n"
    "  -h, --help          this text; 'quor-inet COMMAND --help' for a command's own\n"
    "  -V, --version       the version\n"
    "\n"
    "Exit codes: 0 success, 1 the operation failed, 2 a usage error, 130 stopped by Ctrl-C.\n";

constexpr char kSearchHelp[] =
    "Usage: quor-inet search [OPTIONS] URL\n"
    "\n"
    "Crawls the web breadth first from URL and prints a numbered line for every audio file\n"
    "found, as it is found: size, and for MP3 files playing time, title and artist from the\n"
    "ID3 tag. The status goes to standard error. Ctrl-C stops the search; what was found is\n"
    "still printed.\n"
    "\n"
    "  --depth N       follow links up to N pages away from URL (default 2)\n"
    "  --same-server   follow only links to URL's own server\n"
    "  --no-id3        do not read tags and playing times (sizes only)\n"
    "  --connections N requests under way at once, from 1 (one after the other) to 16\n"
    "                  (default 6); the list is the same whatever N\n"
    "  --select all|LIST\n"
    "                  print the URLs of these files joined by '*' at the end; LIST holds\n"
    "                  numbers and ranges of the list, as in 0,2,5-7\n"
    "  --lang L        the language of the library's messages: de, en, fr, it or es\n"
    "                  (default: from the environment, else English)\n"
    "  --classic       the search dialog's own rules: http only, no redirections, the\n"
    "                  markup and ID3 tags of the library's time; the same list as the\n"
    "                  dialog shows with its default settings. Without it the current web's\n"
    "                  rules apply: https (certificates checked), up to 10 redirections,\n"
    "                  quoted and unquoted attributes, audio/source/embed and <base>, browser\n"
    "                  address resolution, relative playlist entries, ID3v2.4 and ID3v1,\n"
    "                  compressed pages and robots.txt\n"
    "\n"
    "Example:\n"
    "  quor-inet search www.example.org/music/ --depth 1 --select all\n"
    "\n"
    "Exit codes: 0 the search ran (also when it found nothing on a page that answered), 1 the\n"
    "start page could not be fetched or answered with an error and nothing was found, 2 a usage\n"
    "error, 130 stopped by Ctrl-C.\n";

constexpr char kDownloadHelp[] =
    "Usage: quor-inet download [OPTIONS] URL [PATH]\n"
    "\n"
    "Copies the file at URL into PATH, with the progress on standard error: percentage,\n"
    "speed, time left and sizes. Without PATH the file is saved under its own name in the\n"
    "current folder; a PATH that is a folder saves it inside; '-' writes it to standard\n"
    "output. The copy takes PATH's place only once complete: a failed or cancelled download\n"
    "(Ctrl-C) leaves PATH as it was. An error page of the server is never saved as the file.\n"
    "A PATH that begins with '-' goes after '--'.\n"
    "\n"
    "  --lang L        the language of the progress and the library's messages: de, en, fr,\n"
    "                  it or es (default: from the environment, else English)\n"
    "  --classic       the library's classic rules: http only, no redirections followed\n"
    "                  (default: https too, up to 10 redirections)\n"
    "\n"
    "Example:\n"
    "  quor-inet download www.example.org/music/song.mp3 ~/Music/\n"
    "\n"
    "Exit codes: 0 saved, 1 the download failed, 2 a usage error, 130 cancelled by Ctrl-C.\n";

// A usage error in one line, with where to read more.
int Usage(const std::string& problem, const char* command) {
    const std::string help =
        command != nullptr ? "quor-inet " + std::string(command) + " --help" : "quor-inet --help";
    std::fprintf(stderr, "quor-inet: %s (see '%s')\n", cli::BytesForTerminal(problem).c_str(),
                 help.c_str());
    return cli::kExitUsage;
}

// "--name value" or "--name=value" at args[i]; advances i past what it took. A missing value
// is a usage error of its own.
enum class Taken { kNo, kYes, kMissing };
Taken TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
                std::string& valueOut) {
    const std::string& arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size()) {
            return Taken::kMissing;
        }
        valueOut = args[++i];
        return Taken::kYes;
    }
    if (arg.compare(0, name.size() + 1, name + "=") == 0) {
        valueOut = arg.substr(name.size() + 1);
        return Taken::kYes;
    }
    return Taken::kNo;
}

bool IsOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

int Search(const std::vector<std::string>& args) {
    cli::SearchOptions options;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || !IsOption(arg)) {
            positional.push_back(arg);
            continue;
        }
        std::string value;
        Taken taken = Taken::kNo;
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kSearchHelp, stdout);
            return cli::kExitOk;
        } else if ((taken = TakeValue(args, i, "--depth", value)) == Taken::kYes) {
            char* end = nullptr;
            const long depth = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || depth < 0 || depth > 1000000) {
                return Usage("--depth takes a whole number of 0 or more, not '" + value + "'",
                             "search");
            }
            options.depth = static_cast<int32_t>(depth);
        } else if (taken == Taken::kNo &&
                   (taken = TakeValue(args, i, "--connections", value)) == Taken::kYes) {
            char* end = nullptr;
            const long connections = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || connections < 1 || connections > 16) {
                return Usage("--connections takes a number from 1 to 16, not '" + value + "'",
                             "search");
            }
            options.connections = static_cast<int32_t>(connections);
        } else if (taken == Taken::kNo && arg == "--same-server") {
            options.sameServer = true;
        } else if (taken == Taken::kNo && arg == "--classic") {
            options.classic = true;
        } else if (taken == Taken::kNo && arg == "--no-id3") {
            options.readId3 = false;
        } else if (taken == Taken::kNo &&
                   (taken = TakeValue(args, i, "--select", value)) == Taken::kYes) {
            options.wantResult = true;
            options.selectAll = value == "all";
            if (!options.selectAll && !cli::ParseSelection(value, options.select)) {
                return Usage("--select takes 'all' or numbers and ranges such as 0,2,5-7, not '" +
                                 value + "'",
                             "search");
            }
        } else if (taken == Taken::kNo &&
                   (taken = TakeValue(args, i, "--lang", value)) == Taken::kYes) {
            if (!cli::UseLanguage(value)) {
                return Usage("--lang takes de, en, fr, it or es, not '" + value + "'", "search");
            }
        } else if (taken == Taken::kMissing) {
            return Usage(arg + " needs a value", "search");
        } else {
            return Usage("unknown option " + arg, "search");
        }
    }
    if (positional.size() != 1 || positional[0].empty()) {
        return Usage(positional.empty() ? "search needs a URL" : "search takes one URL", "search");
    }
    options.url = positional[0];
    return cli::RunSearch(options);
}

int Download(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    bool classic = false;
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || !IsOption(arg)) {
            positional.push_back(arg);
            continue;
        }
        std::string value;
        Taken taken = Taken::kNo;
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kDownloadHelp, stdout);
            return cli::kExitOk;
        } else if (arg == "--classic") {
            classic = true;
        } else if ((taken = TakeValue(args, i, "--lang", value)) == Taken::kYes) {
            if (!cli::UseLanguage(value)) {
                return Usage("--lang takes de, en, fr, it or es, not '" + value + "'", "download");
            }
        } else if (taken == Taken::kMissing) {
            return Usage(arg + " needs a value", "download");
        } else {
            return Usage("unknown option " + arg + "; a PATH that begins with '-' goes after '--'",
                         "download");
        }
    }
    if (positional.empty() || positional.size() > 2 || positional[0].empty() ||
        (positional.size() == 2 && positional[1].empty())) {
        return Usage(positional.empty() ? "download needs a URL"
                                        : "download takes a URL and at most one PATH",
                     "download");
    }
    return cli::RunDownloadCommand(positional[0], positional.size() == 2 ? positional[1] : "",
                                   classic);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return Usage("a command is missing", nullptr);
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || (command == "help" && args.size() == 1)) {
        std::fputs(kToolHelp, stdout);
        return cli::kExitOk;
    }
    if (command == "help") {
        if (args[1] == "search" || args[1] == "download") {
            std::fputs(args[1] == "search" ? kSearchHelp : kDownloadHelp, stdout);
            return cli::kExitOk;
        }
        return Usage("there is no command '" + args[1] + "'", nullptr);
    }
    if (command == "--version" || command == "-V") {
        std::fputs(kVersion, stdout);
        return cli::kExitOk;
    }
    if (command == "search") {
        return Search(args);
    }
    if (command == "download") {
        return Download(args);
    }
    return Usage("unknown command '" + command + "'", nullptr);
}
