#include <QApplication>
#include <cstdio>

#include "app/program_start.h"
#include "os/process.h"

int main(int argc, char** argv) {
  tarvelo::os::ShareOneAllocatorPool();
  std::string error;
  const auto arguments = tarvelo::ParseWindowArguments(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!arguments) {
    std::fprintf(stderr, "tarvelo: %s\n%s", error.c_str(), tarvelo::WindowUsage().c_str());
    return 2;
  }
  if (!arguments->textToPrint.empty()) {
    std::fputs(arguments->textToPrint.c_str(), stdout);
    return 0;
  }
  QApplication application(argc, argv);
  tarvelo::PrepareApplication();
  tarvelo::DesktopServices services;
  const auto window = tarvelo::CreateMainWindow(services, *arguments);
  window->show();
  return application.exec();
}
