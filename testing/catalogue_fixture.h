#pragma once
// Test fixtures: a catalogue and data files written into a temporary
// folder, and the inputs of a run with an observer that records what the
// run tells it.

#include <string>
#include <vector>

#include "testing/dbf_writer.h"
#include "testing/temp_dir.h"
#include "validation/detail_listing.h"
#include "validation/validation_run.h"

namespace tarvelo::testing {

/// One row of "tabelas.dbf"; numbers as text ("" leaves the cell blank).
struct FieldRuleRow {
  std::string tabela, campo, depende;
  std::string tipo, tamanho, dominio = "0", nulo = "1", data = "0", zeros = "0", ordem, zerosesq = "0";
  std::string ramo = "RURAL";
  bool deleted = false;
};

/// One row of "anexos.dbf".
struct DomainRow {
  std::string tabela, campo, valor1, valor2;
  std::string ramo = "RURAL";
};

/// One row of "DadosQdp.DBF".
struct QdpRow {
  std::string cod_seg, empresa, pr_rural, sin_rural, pr_animal, sin_animal, inivig, fimvig;
};

inline void WriteTabelas(const std::string& path, const std::vector<FieldRuleRow>& rows) {
  DbfWriter writer({{"RAMO", 'C', 10},
                    {"TABELA", 'C', 20},
                    {"CAMPO", 'C', 10},
                    {"DEPENDE", 'C', 10},
                    {"TIPO", 'N', 2},
                    {"TAMANHO", 'N', 4},
                    {"DOMINIO", 'N', 1},
                    {"NULO", 'N', 1},
                    {"DATA", 'N', 1},
                    {"POSITIVO", 'N', 1},
                    {"ZEROS", 'N', 1},
                    {"ORDEM", 'N', 3},
                    {"ZEROSESQ", 'N', 1},
                    {"SOMA", 'N', 1}});
  for (const auto& r : rows)
    writer.AddRecord({r.ramo, r.tabela, r.campo, r.depende, r.tipo, r.tamanho, r.dominio, r.nulo, r.data, "0", r.zeros,
                      r.ordem, r.zerosesq, "0"},
                     r.deleted);
  writer.WriteTo(path);
}

inline void WriteAnexos(const std::string& path, const std::vector<DomainRow>& rows) {
  DbfWriter writer(
      {{"RAMO", 'C', 10}, {"TABELA", 'C', 20}, {"CAMPO", 'C', 10}, {"VALOR1", 'C', 8}, {"VALOR2", 'C', 2}});
  for (const auto& r : rows) writer.AddRecord({r.ramo, r.tabela, r.campo, r.valor1, r.valor2});
  writer.WriteTo(path);
}

inline void WriteQdp(const std::string& path, const std::vector<QdpRow>& rows) {
  DbfWriter writer({{"COD_SEG", 'C', 5},
                    {"EMPRESA", 'C', 40},
                    {"PR_RURAL", 'N', 16, 2},
                    {"SIN_RURAL", 'N', 16, 2},
                    {"PR_ANIMAL", 'N', 16, 2},
                    {"SIN_ANIMAL", 'N', 16, 2},
                    {"INIVIG", 'C', 8},
                    {"FIMVIG", 'C', 8}});
  for (const auto& r : rows)
    writer.AddRecord({r.cod_seg, r.empresa, r.pr_rural, r.sin_rural, r.pr_animal, r.sin_animal, r.inivig, r.fimvig});
  writer.WriteTo(path);
}

/// A run's inputs with Brazilian settings, a fixed clock (07/12/2026
/// 08:05:09) and the catalogue folder of a TempDir, and the observer of the
/// runs made from it: it keeps the report lines and the progress positions
/// they tell.
struct RunSetup : RunObserver {
  std::string risk, claim, folder;
  RegionalSettings settings = RegionalSettings::Brazilian();
  CivilDateTime now{2026, 12, 7, 8, 5, 9};
  int threads = 0;  // 0: the machine's cores
  DetailSink* details = nullptr;
  /// The report as the observer was told it.
  std::vector<std::string> lines;
  std::vector<int> progress;

  RunInputs Inputs() const {
    RunInputs inputs;
    inputs.riskPath = risk;
    inputs.claimPath = claim;
    inputs.catalogueFolder = folder;
    inputs.settings = settings;
    if (threads > 0) inputs.threads = threads;
    inputs.now = [now = now] { return now; };
    return inputs;
  }
  /// A run of the inputs as they are now, observed by this and streaming
  /// its listing into details.
  ValidationRun NewRun() { return ValidationRun(Inputs(), this, details); }

  void LogCleared() override { lines.clear(); }
  void LineAppended(size_t, const std::string& line) override { lines.push_back(line); }
  void LineReplaced(size_t index, const std::string& line) override { lines.at(index) = line; }
  void Progress(int position) override { progress.push_back(position); }
};

}  // namespace tarvelo::testing
