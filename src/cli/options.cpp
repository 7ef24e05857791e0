#include "cli/options.h"

#include "platform/posix/cp1252.h"

namespace imptherm::cli {

const char kUsage[] =
    "Usage:\n"
    "  impthermorvane print [--param NAME=VALUE]... [--page FILE.html] [--batch]\n"
    "                       [--first-label N] [--sheet-pdf FILE.pdf] [--preview FILE.pdf]\n"
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
    "      --preview FILE.pdf: thermal jobs are drawn into that PDF (203 dpi)\n"
    "      instead of being sent.\n"
    "  impthermorvane preview JOBFILE [--dpi 203|300] [--label-size WxH] -o OUT\n"
    "      Draws an EPL2 job as the printer would print it: OUT a .pdf file (a\n"
    "      page per printed label) or a folder ending in / (a PNG per label).\n"
    "      WxH: the label size in dots when the job sets none (q, Q). Lines not\n"
    "      drawn as written are listed with their line numbers.\n"
    "  impthermorvane scramble TEXT\n"
    "      Prints the scrambled form of a proxy user or password for a page.\n"
    "  impthermorvane printers\n"
    "      Lists the installed printers in the order that fileOut=WIN searches\n"
    "      them for prnName; '*' marks the default printer.\n"
    "  impthermorvane --help | --version\n"
    "\n"
    "Exit status: 0 done, 1 bad command line, 2 parameters refused, 3 download\n"
    "failed, 4 output channel message, 5 abandoned by the user, 6 error,\n"
    "7 preview drawn with lines not drawn as written.\n";

namespace {

// The value that follows the option at args[i], moving i onto it.
bool TakeValue(const std::vector<std::string>& args, std::size_t& i, std::string& out, std::string& error) {
  if (i + 1 >= args.size()) {
    error = args[i] + " needs a value";
    return false;
  }
  out = args[++i];
  return true;
}

bool ParsePreview(const std::vector<std::string>& args, Options& options, std::string& error) {
  options.command = Options::Command::Preview;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) { return TakeValue(args, i, out, error); };
    std::string v;
    if (a == "-o") {
      if (!value(options.previewOut)) return false;
    } else if (a == "--dpi") {
      if (!value(v)) return false;
      if (v != "203" && v != "300") {
        error = "--dpi wants 203 or 300, got '" + v + "'";
        return false;
      }
      options.previewDpi = std::stoi(v);
    } else if (a == "--label-size") {
      if (!value(v)) return false;
      const auto x = v.find('x');
      const auto digits = [](const std::string& t) {
        return !t.empty() && t.size() <= 5 && t.find_first_not_of("0123456789") == std::string::npos;
      };
      if (x == std::string::npos || !digits(v.substr(0, x)) || !digits(v.substr(x + 1))) {
        error = "--label-size wants WIDTHxLENGTH in dots, got '" + v + "'";
        return false;
      }
      options.previewWidth = std::stoi(v.substr(0, x));
      options.previewLength = std::stoi(v.substr(x + 1));
    } else if (!a.empty() && a[0] != '-' && options.previewJob.empty()) {
      options.previewJob = a;
    } else {
      error = "unknown option '" + a + "'";
      return false;
    }
  }
  if (options.previewJob.empty() || options.previewOut.empty()) {
    error = "preview wants a job file and -o FILE.pdf or -o FOLDER/";
    return false;
  }
  return true;
}

bool ParseServe(const std::vector<std::string>& args, Options& options, std::string& error) {
  options.command = Options::Command::Serve;
  options.batch = true;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string v;
    if (a == "--batch") continue;
    if (!TakeValue(args, i, v, error)) return false;
    if (a == "--port") {
      if (v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string::npos || std::stoi(v) > 65535) {
        error = "--port wants a number from 0 to 65535, got '" + v + "'";
        return false;
      }
      options.servePort = std::stoi(v);
    } else if (a == "--config") {
      options.serveConfig = v;
    } else if (a == "--allow-origin") {
      options.allowOrigins.push_back(v);
    } else {
      error = "unknown option '" + a + "'";
      return false;
    }
  }
  return true;
}

}  // namespace

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
  if (args[0] == "preview") return ParsePreview(args, options, error);
  if (args[0] == "serve") return ParseServe(args, options, error);
  if (args[0] != "print") {
    error = "unknown command '" + args[0] + "'";
    return false;
  }
  options.command = Options::Command::Print;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) { return TakeValue(args, i, out, error); };
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
    } else if (a == "--preview") {
      if (!value(options.previewOut)) return false;
      if (options.previewOut.empty()) {
        error = "--preview wants a file name";
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
