#include "run/print_run.h"

#include "base/scope_exit.h"
#include "base/text.h"
#include "platform/error.h"
#include "run/credentials.h"
#include "run/version.h"

namespace imptherm {
namespace {

int CountParameter(const std::string& text) { return ParseDecimal(text).value_or(1); }

// A run whose channel did not take every record's job: an error, although
// the control tells the page nothing and goes on with the next record.
RunResult UndeliveredOutcome(std::size_t first, const std::string& why, std::size_t undelivered, std::size_t records) {
  const std::string all = std::to_string(records);
  RunResult r{RunOutcome::ErrorContained, "record " + std::to_string(first) + " was not sent: " + why};
  if (undelivered == records)
    r.detail = "nothing was sent of the " + (records == 1 ? "one record" : all + " records") + ": " + why;
  else if (undelivered > 1)
    r.detail += "; " + std::to_string(undelivered) + " of " + all + " records were not sent";
  r.failedRecord = first;
  return r;
}

}  // namespace

int OutcomeStatus(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Completed: return 0;
    case RunOutcome::ParametersRefused: return 2;
    case RunOutcome::DownloadFailed: return 3;
    case RunOutcome::ChannelMessage: return 4;
    case RunOutcome::Abandoned: return 5;
    case RunOutcome::ErrorContained: return 6;
  }
  return 6;
}

std::string OutcomeMessage(const RunResult& r) {
  switch (r.outcome) {
    case RunOutcome::Completed: return "";
    case RunOutcome::ParametersRefused: return "parameters refused: " + r.detail;
    case RunOutcome::DownloadFailed: return "download failed: " + r.detail;
    case RunOutcome::ChannelMessage: return "output channel: " + r.detail;
    case RunOutcome::Abandoned: return "abandoned: " + r.detail;
    case RunOutcome::ErrorContained: return "error: " + r.detail;
  }
  return "error: " + r.detail;
}

RunResult PrintRun::Load(ParameterSource& params) {
  RunResult result;
  labels_ = 0;
  record_ = 0;
  try {
    m_.parameterLog.Reset();
    m_.platform.ui.SetPanelCaption("ImpThermOrvane.ocx");
    // The window is closed by its destructor, whatever ends the run.
    auto window = m_.platform.ui.OpenProgressWindow(kWindowCaption);
    m_.progress = &window->memo();
    const ScopeExit unbind([this] { m_.progress = nullptr; });
    m_.parameterLog.Write(kWindowCaption);
    try {
      result = Run(params, window->memo());
    } catch (const RunAbandoned& e) {
      const std::string text = std::string("Impression abandonnee : ") + e.what();
      ContainError(text);
      window->memo().AddLine(text);
      result = {RunOutcome::Abandoned, e.what()};
    }
  } catch (const std::exception& e) {
    ContainError(std::string("Erreur : ") + e.what());
    result = {RunOutcome::ErrorContained, e.what()};
    result.failedRecord = record_;
  } catch (...) {
    ContainError("Erreur inconnue");
    result = {RunOutcome::ErrorContained, "unknown error"};
    result.failedRecord = record_;
  }
  result.labels = labels_;
  return result;
}

// Logging a contained error must not raise again: the log itself may be what
// failed. Before the first download the work folder is not known yet; the
// temp folder is where it will be.
void PrintRun::ContainError(const std::string& text) {
  try {
    if (m_.runLog.workFolder().empty()) m_.runLog.SetWorkFolder(TempFolder(m_.platform.system));
    m_.runLog.Write(text);
  } catch (...) {
  }
}

void PrintRun::Refuse(const std::string& why) { ContainError("Impression refusee : " + why); }

bool PrintRun::ReadParameters(ParameterSource& params, Parameters& p) {
  auto prnType = params.Read("prnType");
  if (!prnType) return false;
  auto fileOut = params.Read("fileOut");
  if (!fileOut) return false;
  auto streamUrl = params.Read("streamUrl");
  if (!streamUrl) return false;
  p.prnType = *prnType;
  p.fileOut = *fileOut;
  p.streamUrl = *streamUrl;
  p.cookie.clear();
  if (auto colis = params.Read("nbEtiquColis")) {
    m_.state.nbEtiquColis = CountParameter(*colis);
    if (auto palettes = params.Read("nbEtiquPalettes")) m_.state.nbEtiquPalettes = CountParameter(*palettes);
  }
  if (auto cookie = params.Read("Cookie")) p.cookie = *cookie;
  return true;
}

void PrintRun::ReadProxySettings(ParameterSource& params) {
  ProxySettings& proxy = m_.state.Proxy;
  proxy = ProxySettings{};
  auto enable = params.Read("proxyEnable");
  if (!enable || UpperAscii(*enable) != "TRUE") return;
  proxy.proxyEnable = true;
  if (auto v = params.Read("proxyHttp")) proxy.proxyHttp = TrimBlanks(*v);
  if (auto v = params.Read("proxyDomaine")) proxy.proxyDomaine = TrimRightBlanks(*v);
  if (auto v = params.Read("proxyUser")) proxy.proxyUser = TrimRightBlanks(*v);
  if (auto v = params.Read("proxyPassword")) proxy.proxyPassword = TrimRightBlanks(*v);
  if (!proxy.proxyUser.empty()) proxy.proxyUser = DescrambleCredential(proxy.proxyUser);
  if (!proxy.proxyPassword.empty()) proxy.proxyPassword = DescrambleCredential(proxy.proxyPassword);
}

RunResult PrintRun::Run(ParameterSource& params, Memo& memo) {
  Parameters p;
  if (!ReadParameters(params, p)) {
    memo.AddLine("Erreur dans les parametres");
    m_.parameterLog.Write("Arguments Error");
    return {RunOutcome::ParametersRefused, "prnType, fileOut and streamUrl are all required"};
  }
  p.prnName = params.Read("prnName").value_or("");
  ReadProxySettings(params);

  memo.AddLine("Impression en cours");
  ParameterLog& log = m_.parameterLog;
  log.Write("prnType:" + p.prnType);
  log.Write("fileOut:" + p.fileOut);
  log.Write("prnName:" + p.prnName);
  log.Write("streamUrl:" + p.streamUrl);
  log.Write("cookie:" + p.cookie);
  log.Write("proxy Http:" + m_.state.Proxy.proxyHttp);
  log.Write("proxy Domaine:" + m_.state.Proxy.proxyDomaine);

  if (UpperAscii(p.streamUrl).find("UPDATEPLUGIN") != std::string::npos) return UpdateExchange(p, memo);
  return PrintLabels(p, memo);
}

RunResult PrintRun::UpdateExchange(Parameters& p, Memo& memo) {
  const std::string url = p.streamUrl + "&version=" + kVersionText;
  const std::string temp = TempFolder(m_.platform.system);
  m_.runLog.SetWorkFolder(temp);
  const std::string cookieLine = p.cookie.empty() ? "" : "Cookie: " + p.cookie;
  m_.stages->HttpExchange("GET", url, temp + "DataThermOrvane.txt", cookieLine, memo);
  return {};
}

RunResult PrintRun::PrintLabels(const Parameters& p, Memo& memo) {
  PrintStages& stages = *m_.stages;
  m_.parameterLog.Write("Meridon directory:" + SharedDataFolder(m_.platform.system));
  LabelData data = stages.DownloadLabelData(p.streamUrl, p.cookie, memo);
  const DataLines& lines = data.lines;
  RunResult result;
  if (!data.downloaded) result = {RunOutcome::DownloadFailed, "the label data file could not be downloaded or read"};

  // A lone data line never forces a new sheet, whatever the header says.
  // (Asked without the size: the thermal jobs cut most lines themselves.)
  if (lines.Reaches(0) && !lines.Reaches(1)) data.header.HeaderFlag = false;
  const RunOptions run{
      p.prnType, p.fileOut, p.prnName, m_.state.nbEtiquColis, m_.state.nbEtiquPalettes, std::move(data.header)};

  return p.prnType == "0" ? PrintSheetRecords(run, lines, result) : PrintThermalRecords(run, lines, memo, result);
}

RunResult PrintRun::PrintThermalRecords(const RunOptions& run, const DataLines& lines, Memo& memo, RunResult result) {
  std::unique_ptr<ThermalJobs> jobs = m_.stages->StartThermalJobs(run, lines);
  std::size_t number = 0;
  // Records whose job a channel did not take, and why the first one.
  std::size_t undelivered = 0, firstUndelivered = 0;
  std::string why;
  while (!jobs->Done()) {
    // Between two records; inside a record the job asks between two pieces
    // (PrintThermalRecord), and a job file drops the job it had begun.
    record_ = 0;
    if (m_.platform.ui.StopRequested()) throw RunAbandoned(kStopAsked);
    jobs->Next();
    record_ = ++number;
    const RecordDelivery sent = PrintThermalRecord(*m_.stages, run, *jobs, &m_.platform.ui);
    labels_ += sent.labels;
    // The page is told nothing and the run goes on, as the control does;
    // the host's outcome names the record that did not go out, and why.
    if (!sent.failure.empty() && undelivered++ == 0) {
      firstUndelivered = number;
      why = sent.failure;
    }
    if (!sent.message.empty()) {
      memo.AddLine(sent.message);
      m_.platform.system.Sleep(2000);
      result = {RunOutcome::ChannelMessage, sent.message};
      result.failedRecord = number;
      break;
    }
  }
  record_ = 0;
  if (undelivered > 0 && result.outcome == RunOutcome::Completed)
    result = UndeliveredOutcome(firstUndelivered, why, undelivered, number);
  return result;
}

RunResult PrintRun::PrintSheetRecords(const RunOptions& run, const DataLines& lines, RunResult result) {
  PrintStages& stages = *m_.stages;
  // A sheet document cut short, by a stop or by an error below, is cancelled
  // rather than printed in part.
  ScopeExit sheetGuard([&stages] { stages.AbortSheetDocument(); });
  RecordLines record;
  bool firstRecord = true;
  for (std::size_t index = 0, number = 0; index < lines.size();) {
    record_ = 0;
    if (m_.platform.ui.StopRequested()) throw RunAbandoned(kStopAsked);
    index = stages.GroupRecordLines(lines, index, record);
    record_ = ++number;
    if (!stages.PositionChooserExists()) stages.CreatePositionChooser();
    if (firstRecord && stages.ShowPositionChooser() == ChooserResult::Cancel) {
      result = {RunOutcome::Abandoned, "the first label position was not chosen"};
      break;
    }
    stages.PrintSheetRecord(run, record, firstRecord);
    firstRecord = false;
  }
  record_ = 0;
  sheetGuard.Release();
  if (!firstRecord) labels_ += stages.EndSheetDocument();
  return result;
}

}  // namespace imptherm
