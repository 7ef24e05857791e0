#include "cli/options.h"

#include "platform/posix/cp1252.h"

namespace imptherm::cli {

const char kUsage[] =
    "Usage:\n"
    "  impthermorvane print [--param NAME=VALUE]... [--page FILE.html] [--batch]\n"
    "                       [--first-label N] [--sheet-pdf FILE.pdf]\n"
    "      Runs one print run with the page parameters given (prnType, fileOut,\n"
    "      streamUrl, nbEtiquColis, nbEtiquPalettes, Cookie, prnName, proxyEnable,\n"
    "      proxyHttp, proxyDomaine, proxyUser, proxyPassword). --page takes them\n"
    "      from the <param> elements of the control's <object> in an HTML page;\n"
    "      --param given after it overrides. A parameter given with an empty\n"
    "      value is present; one not given is absent.\n"
    "      --batch: wait for nobody (also when standard input is not a terminal).\n"
    "      --first-label N: with nobody to ask, the first label of a sheet print\n"
    "      run (prnType 0) goes into slot N (1 top left, 2 top right, 3 bottom\n"
    "      left, 4 bottom right; default 1).\n"
    "      --sheet-pdf FILE: the sheets go to that PDF file instead of a printer.\n"
    "  impthermorvane scramble TEXT\n"
    "      Prints the scrambled form of a proxy user or password for a page.\n"
    "  impthermorvane printers\n"
    "      Lists the installed printers in the order that fileOut=WIN searches\n"
    "      them for prnName; '*' marks the default printer.\n"
    "  impthermorvane --help | --version\n"
    "\n"
    "Exit status: 0 done, 1 bad command line, 2 parameters refused, 3 download\n"
    "failed, 4 output channel message, 5 abandoned by the user, 6 error.\n";

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    options.command = Options::Command::Help;
    return true;
  }
  if (args[0] == "--version") {
    options.command = Options::Command::Version;
    return true;
  }
  if (args[0] == "scramble") {
    if (args.size() != 2) {
      error = "scramble takes exactly one text";
      return false;
    }
    options.command = Options::Command::Scramble;
    options.scrambleText = posix::Utf8ToCp1252(args[1]);
    return true;
  }
  if (args[0] == "printers") {
    if (args.size() != 1) {
      error = "printers takes no arguments";
      return false;
    }
    options.command = Options::Command::Printers;
    return true;
  }
  if (args[0] != "print") {
    error = "unknown command '" + args[0] + "'";
    return false;
  }
  options.command = Options::Command::Print;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    if (a == "--batch") {
      options.batch = true;
    } else if (a == "--param") {
      std::string nv;
      if (!value(nv)) return false;
      auto eq = nv.find('=');
      if (eq == std::string::npos || eq == 0) {
        error = "--param wants NAME=VALUE, got '" + nv + "'";
        return false;
      }
      options.params.emplace_back(nv.substr(0, eq), posix::Utf8ToCp1252(nv.substr(eq + 1)));
    } else if (a == "--first-label") {
      std::string n;
      if (!value(n)) return false;
      if (n.size() != 1 || n[0] < '1' || n[0] > '4') {
        error = "--first-label wants a slot from 1 to 4, got '" + n + "'";
        return false;
      }
      options.firstLabel = n[0] - '0';
    } else if (a == "--sheet-pdf") {
      if (!value(options.sheetPdf)) return false;
      if (options.sheetPdf.empty()) {
        error = "--sheet-pdf wants a file name";
        return false;
      }
    } else if (a == "--page") {
      if (!value(options.pagePath)) return false;
    } else {
      error = "unknown option '" + a + "'";
      return false;
    }
  }
  return true;
}

}  // namespace imptherm::cli
