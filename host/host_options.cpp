// Command-line parsing of the reference host.
#include "host/host_options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

bool ParseInteger(const std::string& text, int& value)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < INT_MIN || parsed > INT_MAX) return false;
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace

bool ParseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error)
{
    bool dialogValueGiven = false;
    std::string firstDialogOption;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto takeValue = [&](std::string& value) {
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto takeInteger = [&](int& value, int minimum, int maximum) {
            std::string text;
            if (!takeValue(text)) return false;
            if (!ParseInteger(text, value) || value < minimum || value > maximum) {
                error = "option " + arg + " needs a whole number from " + std::to_string(minimum) +
                        " to " + std::to_string(maximum) + ", not '" + text + "'";
                return false;
            }
            return true;
        };
        auto dialogOption = [&]() {
            if (!dialogValueGiven) firstDialogOption = arg;
            dialogValueGiven = true;
        };

        if (arg == "-h" || arg == "--help") {
            options.showUsage = true;
        } else if (arg == "--dll") {
            if (!takeValue(options.dllPath)) return false;
        } else if (arg == "--out") {
            if (!takeValue(options.outputPath)) return false;
            if (options.outputPath.empty()) {
                error = "option --out needs a file name";
                return false;
            }
        } else if (arg == "--palette") {
            options.paletteImages = true;
        } else if (arg == "--rgb") {
            options.paletteImages = false;
        } else if (arg == "--skin") {
            if (!takeInteger(options.skinStyle, INT_MIN, INT_MAX)) return false;
        } else if (arg == "--unattended") {
            options.unattended = true;
        } else if (arg == "--width") {
            if (!takeInteger(options.width, INT_MIN, INT_MAX)) return false;
            dialogOption();
        } else if (arg == "--height") {
            if (!takeInteger(options.height, INT_MIN, INT_MAX)) return false;
            dialogOption();
        } else if (arg == "--start") {
            if (!takeInteger(options.startNumber, INT_MIN, INT_MAX)) return false;
            dialogOption();
        } else if (arg == "--delay") {
            if (!takeInteger(options.delay, INT_MIN, INT_MAX)) return false;
            dialogOption();
        } else if (arg == "--picture") {
            if (!takeValue(options.picturePath)) return false;
            if (options.picturePath.empty()) {
                error = "option --picture needs a file name";
                return false;
            }
            dialogOption();
        } else if (arg == "--refuse-frame") {
            if (!takeInteger(options.refuseFrame, 1, INT_MAX)) return false;
        } else if (arg == "--press") {
            std::string button;
            if (!takeValue(button)) return false;
            if (button == "ok") options.press = DialogButton::Ok;
            else if (button == "test") options.press = DialogButton::Test;
            else if (button == "cancel") options.press = DialogButton::Cancel;
            else if (button == "help") options.press = DialogButton::Help;
            else {
                error = "option --press takes ok, test, cancel or help, not '" + button + "'";
                return false;
            }
            dialogOption();
        } else {
            error = "unknown option '" + arg + "' (see --help)";
            return false;
        }
    }
    if (dialogValueGiven && !options.unattended && !options.showUsage) {
        error = "option " + firstDialogOption + " is used only with --unattended";
        return false;
    }
    return true;
}

int EffectiveDelay(const HostOptions& options)
{
    if (options.delay != 0) return options.delay;
    return options.paletteImages ? 8 : 80;
}

const char* HostUsage()
{
    return "usage: leaderhost [options]\n"
           "Loads the countdown leader plug-in, shows its dialog and writes the animation.\n"
           "\n"
           "  --dll PATH        the plug-in to load (default: tovanrel.dll beside leaderhost)\n"
           "  --out PATH        the animation file (default: leader.gif, or leader.avi with --rgb)\n"
           "  --palette         ask for 8-bit grey frames and write an animated GIF (default)\n"
           "  --rgb             ask for 24-bit frames and write an uncompressed AVI\n"
           "  --skin N          the look of the dialog's buttons: 0 plain (default), 1, 2, 3\n"
           "  --unattended      work the dialog from the host instead of the user:\n"
           "    --width N       frame width typed into the dialog (default 64)\n"
           "    --height N      frame height (default 64)\n"
           "    --start N       starting number (default 9)\n"
           "    --delay N       delay per frame: hundredths of a second for a GIF (default 8),\n"
           "                    milliseconds for an AVI (default 80)\n"
           "    --press BUTTON  ok (default), test, cancel or help; after test or help the\n"
           "                    host presses cancel\n"
           "    --picture FILE  save a picture of the dialog (BMP) before pressing the button\n"
           "  --refuse-frame N  refuse the N-th image offered (to try the plug-in's error path)\n"
           "  -h, --help        show this text\n"
           "\n"
           "Test builds are written beside the output as NAME-test1.gif, NAME-test2.gif, ...\n"
           "Exit status: 0 done, 1 failed, 2 bad command line.\n";
}
