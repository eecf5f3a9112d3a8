#include <QApplication>

#include "app/program_start.h"
#include "os/process.h"

int main(int argc, char** argv) {
  tarvelo::os::ShareOneAllocatorPool();
  QApplication application(argc, argv);
  tarvelo::PrepareApplication();
  tarvelo::DesktopServices services;
  const auto frmInicio = tarvelo::CreateFrmInicio(services);
  frmInicio->show();
  return application.exec();
}
