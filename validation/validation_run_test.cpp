#include "validation/validation_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "validation/catalogue_fixture.h"
#include "validation/report_format.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using testing::DbfFieldSpec;
using testing::DbfWriter;
using testing::DomainRow;
using testing::FakeHost;
using testing::FieldRuleRow;
using testing::QdpRow;
using Lines = std::vector<std::string>;

const std::string kRule(80, '=');
const std::string kFieldHeader =
    "Tabela              Campo               ErroNulo  %         ErroDom   %         ";

Lines Header() {
  return {"In\xED" "cio do processamento: 07/12/2026 08:05:09",
          "Per\xEDodo de an\xE1lise: 01/07/2022 a 30/06/2023", ""};
}

Lines Closing() { return {"", kRule, "", "Fim do processamento: 07/12/2026 08:05:09", "", kRule}; }

Lines RisksBlock() { return {kRule, "", "Arquivo de riscos vazio ou n\xE3o selecionado.", ""}; }
Lines ClaimsBlock() { return {kRule, "", "Arquivo de sinistros vazio ou n\xE3o selecionado.", ""}; }

Lines PremiumsSection(const Lines& rows) {
  Lines lines{kRule, "", "Teste de Pr\xEAmios Emitidos:",
              "Modalidade     Valor QDP                Valor Arquivo            Diferen\xE7" "a (%)", ""};
  lines.insert(lines.end(), rows.begin(), rows.end());
  const Lines tail{"", kRule, "", "Observa\xE7\xF5" "es:",
                   "O item Total informado de Pr\xEAmios considera somente as ap\xF3lices com in\xED" "cio de vig\xEAncia "
                   "no per\xED" "odo considerado: 01/07/2022 a 30/06/2023",
                   "A companhia dever\xE1 apresentar justificativas para as difere\xE7" "as em rela\xE7\xE3o ao ",
                   "QDP, em anexo a este relat\xF3rio, quando:", "1 - A diferen\xE7" "a, em m\xF3" "dulo, for maior que 10%",
                   "2 - Existir valor no arquivo, mas n\xE3o no QDP", "3 - N\xE3o existir valor no arquivo, mas existir no QDP",
                   ""};
  lines.insert(lines.end(), tail.begin(), tail.end());
  return lines;
}

Lines ClaimsSection(const Lines& rows) {
  Lines lines{kRule, "", "Teste de Sinistros Pagos:",
              "Modalidade     Valor QDP                Valor Arquivo            Diferen\xE7" "a (%)", ""};
  lines.insert(lines.end(), rows.begin(), rows.end());
  const Lines tail{kRule, "", "Cr\xEDticas no arquivo de Sinistros", "Observa\xE7\xF5" "es:",
                   "A companhia dever\xE1 apresentar justificativas para as difere\xE7" "as em rela\xE7\xE3o ao QDP,",
                   "em anexo a este relat\xF3rio, quando:", "1 - A diferen\xE7" "a, em m\xF3" "dulo, for maior que 10%",
                   "2 - Existir valor no arquivo, mas n\xE3o no QDP", "3 - N\xE3o existir valor no arquivo, mas existir no QDP",
                   "As justificativas devem ser baseadas em valores, n\xE3o apenas em car\xE1ter subjetivo.", ""};
  lines.insert(lines.end(), tail.begin(), tail.end());
  return lines;
}

Lines Concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::string Pad(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string FieldRow(const std::string& table, const std::string& field, const std::string& nulls,
                     const std::string& nullShare, const std::string& invalid, const std::string& invalidShare) {
  return Pad(table, 20) + Pad(field, 20) + Pad(nulls, 10) + Pad(nullShare + "%", 10) + Pad(invalid, 10) +
         Pad(invalidShare + "%", 10);
}

bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A small rural catalogue: risks (COD_SEG, APOLICE, ITEM, COD_MOD,
// INICIO_VIG, PREMIO) and claims (COD_SEG, APOLICE, ITEM, COD_MOD, D_AVISO,
// INDENIZ), without rules unless a test adds them.
class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.folder = dir.Path();
    risksRules = {
        {"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"},
        {"RISCOS", "APOLICE", "", "1", "10", "0", "1", "0", "0", "2"},
        {"RISCOS", "ITEM", "", "1", "4", "0", "1", "0", "0", "3"},
        {"RISCOS", "COD_MOD", "", "3", "0", "0", "1", "0", "0", "4"},
        {"RISCOS", "INICIO_VIG", "", "1", "8", "0", "1", "0", "0", "5"},
        {"RISCOS", "PREMIO", "", "6", "0", "0", "1", "0", "0", "6"},
    };
    claimsRules = {
        {"SINISTROS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"},
        {"SINISTROS", "APOLICE", "", "1", "10", "0", "1", "0", "0", "2"},
        {"SINISTROS", "ITEM", "", "1", "4", "0", "1", "0", "0", "3"},
        {"SINISTROS", "COD_MOD", "", "3", "0", "0", "1", "0", "0", "4"},
        {"SINISTROS", "D_AVISO", "", "1", "8", "0", "1", "0", "0", "5"},
        {"SINISTROS", "INDENIZ", "", "6", "0", "0", "1", "0", "0", "6"},
    };
    qdp = {{"01111", "OUTRA", "5", "5", "5", "5", "20220701", "20230630"},
           {"05631", "SEGURADORA EXEMPLO S.A.", "1000000", "200", "0", "50", "20220701", "20230630"}};
  }

  void WriteCatalogue() {
    Lines unused;
    std::vector<FieldRuleRow> rows = risksRules;
    rows.insert(rows.end(), claimsRules.begin(), claimsRules.end());
    testing::WriteTabelas(dir.File("tabelas.dbf"), rows);
    testing::WriteAnexos(dir.File("anexos.dbf"), domain);
    testing::WriteQdp(dir.File("DadosQdp.DBF"), qdp);
  }

  static DbfWriter RisksWriter() {
    return DbfWriter({{"COD_SEG", 'C', 5}, {"APOLICE", 'C', 10}, {"ITEM", 'C', 4}, {"COD_MOD", 'N', 2},
                      {"INICIO_VIG", 'C', 8}, {"PREMIO", 'N', 14, 2}});
  }
  static DbfWriter ClaimsWriter() {
    return DbfWriter({{"COD_SEG", 'C', 5}, {"APOLICE", 'C', 10}, {"ITEM", 'C', 4}, {"COD_MOD", 'N', 2},
                      {"D_AVISO", 'C', 8}, {"INDENIZ", 'N', 14, 2}});
  }

  std::string Write(const DbfWriter& writer, const std::string& name) {
    writer.WriteTo(dir.File(name));
    return dir.File(name);
  }

  // Runs and returns the log; fails the test on an error.
  Lines Run() {
    WriteCatalogue();
    ValidationRun run(host);
    run.Execute();
    state = run.State();
    return host.log.Lines();
  }

  testing::TempDir dir;
  FakeHost host;
  std::vector<FieldRuleRow> risksRules, claimsRules;
  std::vector<DomainRow> domain;
  std::vector<QdpRow> qdp;
  RunState state;
};

TEST_F(RunTest, BothBoxesEmptyWritesHeaderBlocksAndClosing) {
  host.claim = "   ";
  EXPECT_EQ(Run(), Concat({Header(), RisksBlock(), ClaimsBlock(), Closing()}));
  EXPECT_EQ(host.progress, (std::vector<int>{75, 90}));
}

}  // namespace
}  // namespace tarvelo
