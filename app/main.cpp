#include <QApplication>

#include "app/program_start.h"
#include "cli/program_context.h"

int main(int argc, char** argv) {
  tarvelo::ShareOneAllocatorPool();
  QApplication application(argc, argv);
  tarvelo::PrepareApplication();
  tarvelo::DesktopServices services;
  const auto frmInicio = tarvelo::CreateFrmInicio(services);
  frmInicio->show();
  return application.exec();
}
