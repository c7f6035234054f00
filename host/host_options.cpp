// Command-line parsing of the reference host.
#include "host/host_options.h"

#include <climits>

namespace {

// A decimal whole number with an optional sign; a value beyond a 32-bit
// integer becomes its smallest or largest value.
bool ParseWholeNumber(const std::string& text, int& value)
{
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++i;
    if (i == text.size()) return false;
    long long magnitude = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (text[i] - '0');
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    value = signedValue < INT_MIN ? INT_MIN : signedValue > INT_MAX ? INT_MAX
                                                                       : static_cast<int>(signedValue);
    return true;
}

// The extension of a file name, lower case, with its dot; empty when none.
std::string LowerExtension(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

}  // namespace

bool ParseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error)
{
    bool dialogValueGiven = false;
    std::string firstDialogOption;
    std::string depthOption;  // the last of --palette and --rgb given
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
        auto takeInteger = [&](int& value, int minimum) {
            std::string text;
            if (!takeValue(text)) return false;
            if (!ParseWholeNumber(text, value) || value < minimum) {
                error = "option " + arg + " needs a whole number" +
                        (minimum > INT_MIN ? " from " + std::to_string(minimum) + " up" : "") +
                        ", not '" + text + "'";
                return false;
            }
            return true;
        };
        // Whether a value suits the plug-in is known only once its dialog is
        // up; here it only has to be a number.
        auto takeDialogNumber = [&](DialogNumber& number) {
            if (!takeInteger(number.value, INT_MIN)) return false;
            number.text = argv[i];
            if (!dialogValueGiven) firstDialogOption = arg;
            dialogValueGiven = true;
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
        } else if (arg == "--palette" || arg == "--rgb") {
            options.paletteImages = arg == "--palette";
            depthOption = arg;
        } else if (arg == "--full-frames") {
            options.wholeGifFrames = true;
        } else if (arg == "--skin") {
            if (!takeInteger(options.skinStyle, INT_MIN)) return false;
        } else if (arg == "--unattended") {
            options.unattended = true;
        } else if (arg == "--width") {
            if (!takeDialogNumber(options.width)) return false;
        } else if (arg == "--height") {
            if (!takeDialogNumber(options.height)) return false;
        } else if (arg == "--start") {
            if (!takeDialogNumber(options.startNumber)) return false;
        } else if (arg == "--delay") {
            if (!takeDialogNumber(options.delay)) return false;
        } else if (arg == "--picture") {
            if (!takeValue(options.picturePath)) return false;
            if (options.picturePath.empty()) {
                error = "option --picture needs a file name";
                return false;
            }
            dialogOption();
        } else if (arg == "--refuse-frame") {
            if (!takeInteger(options.refuseFrame, 1)) return false;
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
    // The file name decides the format where it names one.
    const std::string extension = LowerExtension(options.outputPath);
    if (extension == ".gif" || extension == ".avi") {
        const bool gif = extension == ".gif";
        if (!depthOption.empty() && options.paletteImages != gif) {
            error = "option " + depthOption + (gif ? " asks for 24-bit frames, which go into an AVI"
                                                   : " asks for 8-bit frames, which go into a GIF") +
                    ", not into " + options.outputPath;
            return false;
        }
        options.paletteImages = gif;
    }
    return true;
}

int EffectiveDelay(const HostOptions& options)
{
    if (!options.delay.text.empty()) return options.delay.value;
    return options.paletteImages ? 8 : 80;
}

const char* HostUsage()
{
    return "usage: leaderhost [options]\n"
           "Loads the countdown leader plug-in, shows its dialog and writes the animation.\n"
           "\n"
           "  --dll PATH        the plug-in to load (default: tovanrel.dll beside leaderhost)\n"
           "  --out PATH        the animation file (default: leader.gif, or leader.avi with --rgb);\n"
           "                    a name ending in .gif gets 8-bit frames, .avi 24-bit frames\n"
           "  --palette         ask for 8-bit grey frames and write an animated GIF (default)\n"
           "  --rgb             ask for 24-bit frames and write an uncompressed AVI\n"
           "  --full-frames     store every GIF frame whole, not only what changed\n"
           "  --skin N          the look of the dialog's buttons: 0 plain (default), 1, 2, 3\n"
           "  --unattended      work the dialog from the host instead of the user:\n"
           "    --width N       frame width typed into the dialog (default 64)\n"
           "    --height N      frame height (default 64)\n"
           "    --start N       starting number (default 9)\n"
           "    --delay N       delay per frame: hundredths of a second for a GIF (default 8),\n"
           "                    milliseconds for an AVI (default 80)\n"
           "                    Values are typed as given (0 too: it is not the default); the\n"
           "                    host says when the plug-in will clamp one to its range.\n"
           "    --press BUTTON  ok (default), test, cancel or help; after test or help the\n"
           "                    host presses cancel\n"
           "    --picture FILE  save a picture of the dialog (BMP) before pressing the button\n"
           "  --refuse-frame N  refuse the N-th image offered (to try the plug-in's error path)\n"
           "  -h, --help        show this text\n"
           "\n"
           "Test builds are written beside the output as NAME-test1.gif, NAME-test2.gif, ...\n"
           "Exit status: 0 done, 1 failed, 2 bad command line, 128 + signal when stopped\n"
           "(130 for Ctrl+C: nothing is written then).\n";
}
