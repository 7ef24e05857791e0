#pragma once
#include <string>
#include <vector>

#include "fakes/fake_platform.h"
#include "output/send_job.h"

namespace imptherm {

// SendJob over the fake platform, with the run log read back as its texts.
class OutputFixture {
 protected:
  OutputFixture() { runLog.SetWorkFolder(f.temp.path()); }

  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    const std::string log = f.temp.Read("OWTMP.LOG");
    const std::string stamp = f.system.timeStamp + " ";
    for (std::size_t pos = 0; pos < log.size();) {
      std::size_t end = log.find("\r\n", pos);
      std::string line = log.substr(pos, end - pos);
      texts.push_back(line.rfind(stamp, 0) == 0 ? line.substr(stamp.size()) : "<unstamped> " + line);
      pos = end == std::string::npos ? log.size() : end + 2;
    }
    return texts;
  }

  fakes::FakePlatform f;
  RunLog runLog{f.system};
  PrinterObject printer{f.printers};
  fakes::FakeMemo progress;
  OutputContext ctx{f.platform, runLog, printer, &progress};
};

}  // namespace imptherm
