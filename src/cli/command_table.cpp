#include "cli/command_table.h"

#include <algorithm>

#include "base/cp1252.h"

namespace imptherm::cli {
namespace {

bool Digits(const std::string& text, std::size_t most) {
  return !text.empty() && text.size() <= most && text.find_first_not_of("0123456789") == std::string::npos;
}

template <std::string Options::*field>
Refusal Store(const std::string& value, Options& options) {
  options.*field = value;
  return {};
}

// A file that an empty name would leave unnamed.
template <std::string Options::*field>
Refusal StoreFileName(const std::string& value, Options& options) {
  if (value.empty()) return ParseError{"wants a file name"};
  options.*field = value;
  return {};
}

Refusal SetBatch(const std::string&, Options& options) {
  options.batch = true;
  return {};
}

const std::vector<CommandSpec> kCommands = {
    {
        .name = "print",
        .command = Options::Command::Print,
        .summary = "Runs one print run with the page parameters given",
        .details = "The page parameters are prnType, fileOut, streamUrl, nbEtiquColis, nbEtiquPalettes, Cookie, "
                   "prnName, proxyEnable, proxyHttp, proxyDomaine, proxyUser and proxyPassword. A parameter given "
                   "with an empty value is present; one not given is absent.",
        .options =
            {
                {.name = "--param",
                 .value = "NAME=VALUE",
                 .help = "One page parameter; a name given twice takes the later value.",
                 .take = [](const std::string& v, Options& o) -> Refusal {
                   const auto eq = v.find('=');
                   if (eq == std::string::npos || eq == 0) {
                     return ParseError{"wants NAME=VALUE, got '" + v + "'"};
                   }
                   o.params.emplace_back(v.substr(0, eq), Utf8ToCp1252(v.substr(eq + 1)));
                   return {};
                 },
                 .repeats = true},
                {.name = "--page",
                 .value = "FILE.html",
                 .help = "Takes the parameters from the <param> elements of the control's <object> in an HTML "
                         "page; --param given as well overrides them.",
                 .take = Store<&Options::pagePath>},
                {.name = "--batch",
                 .help = "Waits for nobody (also when standard input is not a terminal).",
                 .take = SetBatch},
                {.name = "--first-label",
                 .value = "N",
                 .help = "With nobody to ask, the first label of a sheet print run (prnType 0) goes into slot N: "
                         "1 top left, 2 top right, 3 bottom left, 4 bottom right (default 1).",
                 .take = [](const std::string& v, Options& o) -> Refusal {
                   if (v.size() != 1 || v[0] < '1' || v[0] > '4') {
                     return ParseError{"wants a slot from 1 to 4, got '" + v + "'"};
                   }
                   o.firstLabel = v[0] - '0';
                   return {};
                 }},
                {.name = "--sheet-pdf",
                 .value = "FILE.pdf",
                 .help = "The sheets go to that PDF file instead of a printer.",
                 .take = StoreFileName<&Options::sheetPdf>},
                {.name = "--preview",
                 .value = "FILE.pdf",
                 .help = "The thermal jobs are drawn into that PDF file (203 dpi) instead of being sent.",
                 .take = StoreFileName<&Options::previewOut>},
            },
        .example = "impthermorvane print --param prnType=4 --param fileOut=FILE \\\n"
                   "    --param streamUrl=http://server/app/labels.asp?id=12",
    },
    {
        .name = "preview",
        .command = Options::Command::Preview,
        .summary = "Draws an EPL2 job as the printer would print it",
        .details = "Lines of the job not drawn as written are listed on standard error with their line numbers, "
                   "and the exit status is then 7.",
        .operand = "JOBFILE",
        .takeOperand = Store<&Options::previewJob>,
        .missing = "preview wants a job file and -o FILE.pdf or -o FOLDER/",
        .options =
            {
                {.name = "-o",
                 .value = "OUT",
                 .help = "Where the drawing goes: a .pdf file (a page per printed label) or a folder ending in / "
                         "(a PNG picture per label).",
                 .take = Store<&Options::previewOut>,
                 .required = true},
                {.name = "--dpi",
                 .value = "203|300",
                 .help = "The printer's resolution (default 203).",
                 .take = [](const std::string& v, Options& o) -> Refusal {
                   if (v != "203" && v != "300") {
                     return ParseError{"wants 203 or 300, got '" + v + "'"};
                   }
                   o.previewDpi = std::stoi(v);
                   return {};
                 }},
                {.name = "--label-size",
                 .value = "WxH",
                 .help = "The label's width and length in dots when the job sets none (q, Q).",
                 .take = [](const std::string& v, Options& o) -> Refusal {
                   const auto x = v.find('x');
                   if (x == std::string::npos || !Digits(v.substr(0, x), 5) || !Digits(v.substr(x + 1), 5)) {
                     return ParseError{"wants WIDTHxLENGTH in dots, got '" + v + "'"};
                   }
                   o.previewWidth = std::stoi(v.substr(0, x));
                   o.previewLength = std::stoi(v.substr(x + 1));
                   return {};
                 }},
                {.name = "--contact-sheet",
                 .value = "FILE.png",
                 .help = "With -o FOLDER/: the labels also go, smaller and side by side, into that one picture.",
                 .take = StoreFileName<&Options::contactSheet>},
            },
        .example = "impthermorvane preview job.txt -o labels/ --contact-sheet labels.png",
    },
    {
        .name = "scramble",
        .command = Options::Command::Scramble,
        .summary = "Prints the scrambled form of a proxy user or password for a page",
        .details = "The proxyUser and proxyPassword parameters of a page take this form.",
        .operand = "TEXT",
        .takeOperand = [](const std::string& v, Options& o) -> Refusal {
          o.scrambleText = Utf8ToCp1252(v);
          return {};
        },
        .missing = "scramble takes exactly one text",
        .example = "impthermorvane scramble 'mot de passe'",
    },
    {
        .name = "printers",
        .command = Options::Command::Printers,
        .summary = "Lists the installed printers and how each takes a label job",
        .details = "They come in the order that fileOut=WIN searches them for prnName; '*' marks the default "
                   "printer. Each is marked EPL2 (a job is sent as application/vnd.eltron-epl), raw "
                   "(application/vnd.cups-raw), or neither (a page printer).",
        .missing = "printers takes no arguments",
        .example = "impthermorvane printers",
    },
    {
        .name = "serve",
        .command = Options::Command::Serve,
        .summary = "Runs the browser bridge, through which allowed web pages print",
        .details = "A local HTTP server on 127.0.0.1 (and ::1), never elsewhere, that runs the print runs of the "
                   "pages of allowed web sites. It waits for nobody. SIGINT or SIGTERM stops it.",
        .options =
            {
                {.name = "--port",
                 .value = "N",
                 .help = "The TCP port, and no other (0: a free port). Without it, the first free one of 8 from "
                         "the port of the configuration file (default 9180) on: the ones before may be other "
                         "users' bridges.",
                 .take = [](const std::string& v, Options& o) -> Refusal {
                   if (!Digits(v, 5) || std::stoi(v) > 65535) {
                     return ParseError{"wants a number from 0 to 65535, got '" + v + "'"};
                   }
                   o.servePort = std::stoi(v);
                   return {};
                 }},
                {.name = "--config",
                 .value = "FILE",
                 .help = "The bridge's configuration file (default bridge.json in the shared data folder).",
                 .take = Store<&Options::serveConfig>},
                {.name = "--allow-origin",
                 .value = "ORIGIN",
                 .help = "Allows the web site ORIGIN (scheme://host[:port]) for this start only.",
                 .take = [](const std::string& v, Options& o) -> Refusal {
                   o.allowOrigins.push_back(v);
                   return {};
                 },
                 .repeats = true},
                {.name = "--batch", .help = "Waits for nobody, as the bridge always does.", .take = SetBatch},
            },
        .example = "impthermorvane serve --allow-origin https://shop.example",
    },
    {
        .name = "help",
        .command = Options::Command::Help,
        .summary = "Prints the usage of impthermorvane or of COMMAND",
        .details = "impthermorvane COMMAND --help does the same.",
        .operand = "COMMAND",
        .operandOptional = true,
        .takeOperand = [](const std::string& v, Options& o) -> Refusal {
          if (!FindCommand(v)) {
            return ParseError{"unknown command '" + v + "'"};
          }
          o.helpFor = v;
          return {};
        },
        .missing = "help takes at most one command",
        .example = "impthermorvane help preview",
    },
};

const GlobalOption kGlobalOptions[] = {
    {"-h, --help", "Prints this help; COMMAND --help prints that command's own"},
    {"--version", "Prints the version"},
};

}  // namespace

const OptionSpec* CommandSpec::Find(std::string_view option) const {
  const auto it = std::find_if(options.begin(), options.end(), [&](const OptionSpec& o) { return o.name == option; });
  return it != options.end() ? &*it : nullptr;
}

std::span<const CommandSpec> Commands() { return kCommands; }

const CommandSpec* FindCommand(std::string_view name) {
  const auto it =
      std::find_if(kCommands.begin(), kCommands.end(), [&](const CommandSpec& c) { return c.name == name; });
  return it != kCommands.end() ? &*it : nullptr;
}

std::span<const GlobalOption> GlobalOptions() { return kGlobalOptions; }

}  // namespace imptherm::cli
