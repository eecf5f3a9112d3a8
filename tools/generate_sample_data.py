#!/usr/bin/env python3
"""Writes samples/riscos.txt and samples/sinistros.txt: the sample risks and
claims files of company 05631, with mistakes planted where the report shows
them. Deterministic: the same script always writes the same files."""

import datetime
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.join(HERE, "..", "samples")

UFS = "AC AL AP AM BA CE DF ES GO MA MT MS MG PA PB PR PE PI RJ RN RS RO RR SC SP SE TO".split()
CROPS = {"61": ["0101", "0102", "0103", "0104", "0105"], "62": ["0201", "0202"],
         "63": ["0301", "0302"], "64": ["0401", "0402", "0403"], "65": ["0501"]}
CAUSES = ["SEC", "GEA", "GRA", "CHU", "INC", "VEN"]
ANIMAL_CAUSES = ["MOR", "DOE"]
COMPANY = "05631"

RISK_FIELDS = ["@ COD_SEG C 5", "@ APOLICE C 20", "@ ITEM C 6", "@ COD_MOD N 2",
               "@ COD_CULT C 4", "@ INICIO_VIG C 8", "@ FIM_VIG C 8", "@ UF C 2",
               "@ IS N 14 2", "@ PREMIO N 14 2"]
CLAIM_FIELDS = ["@ COD_SEG C 5", "@ APOLICE C 20", "@ ITEM C 6", "@ COD_MOD N 2",
                "@ D_OCORR C 8", "@ D_AVISO C 8", "@ UF C 2", "@ CAUSA C 3",
                "@ INDENIZ N 14 2"]


def ymd(day):
    return day.strftime("%Y%m%d")


def main():
    rng = random.Random(2023)
    risks = []
    start = datetime.date(2022, 4, 1)
    for n in range(1, 361):
        mod = rng.choice(["61"] * 6 + ["62", "63", "64", "64", "65"])
        policy = "10%08d" % (4000 + n // 3)
        item = "%06d" % (n % 3 + 1)
        begin = start + datetime.timedelta(days=rng.randrange(0, 540))
        end = begin + datetime.timedelta(days=365)
        insured = rng.randrange(20000, 900000) + rng.randrange(100) / 100
        premium = round(insured * rng.uniform(0.012, 0.045), 2)
        risks.append({"COD_SEG": COMPANY, "APOLICE": policy, "ITEM": item, "COD_MOD": mod,
                      "COD_CULT": rng.choice(CROPS[mod]), "INICIO_VIG": ymd(begin),
                      "FIM_VIG": ymd(end), "UF": rng.choice(UFS),
                      "IS": "%.2f" % insured, "PREMIO": "%.2f" % premium, "deleted": False})

    # Mistakes the report counts.
    for i in (7, 45, 118, 250):
        risks[i]["UF"] = ""                       # empty state
    for i in (12, 99, 301):
        risks[i]["UF"] = "XX"                     # unknown state
    for i in (20, 160):
        risks[i]["COD_CULT"] = "0301" if risks[i]["COD_MOD"] != "63" else "0101"  # crop of another modality
    risks[33]["INICIO_VIG"] = "20221345"          # month 13
    risks[34]["FIM_VIG"] = "20230230"             # 30 February
    risks[80]["FIM_VIG"] = "00000000"             # accepted: only zeros
    risks[81]["FIM_VIG"] = "20990101"             # a year too far ahead
    risks[200]["INICIO_VIG"] = ""                 # empty start: not summed
    risks[210]["APOLICE"] = ""                    # empty policy number
    risks[222]["ITEM"] = "12"                     # item shorter than 6
    risks[290]["PREMIO"] = "%.2f" % -1520.40      # a cancellation
    for i in (15, 16):
        risks[i]["deleted"] = True                # neither read nor counted

    claims = []
    live = [r for r in risks if not r["deleted"] and r["APOLICE"] and len(r["ITEM"]) == 6]
    for n in range(1, 121):
        risk = rng.choice(live)
        mod = risk["COD_MOD"]
        occurred = datetime.date(2022, 6, 1) + datetime.timedelta(days=rng.randrange(0, 420))
        notice = occurred + datetime.timedelta(days=rng.randrange(1, 40))
        amount = round(float(risk["IS"]) * rng.uniform(0.02, 0.2), 2)
        claims.append({"COD_SEG": COMPANY, "APOLICE": risk["APOLICE"], "ITEM": risk["ITEM"],
                       "COD_MOD": mod, "D_OCORR": ymd(occurred), "D_AVISO": ymd(notice),
                       "UF": risk["UF"] or "SP",
                       "CAUSA": rng.choice(ANIMAL_CAUSES if mod == "64" else CAUSES),
                       "INDENIZ": "%.2f" % amount, "deleted": False})
    claims[5]["APOLICE"] = "1099999999"           # policy that is not in the risks file
    claims[6]["APOLICE"] = "1099999998"
    claims[40]["ITEM"] = "000009"                 # policy exists, item does not
    claims[41]["ITEM"] = "000009"
    claims[9]["CAUSA"] = ""                       # empty cause: allowed
    claims[10]["CAUSA"] = "XYZ"                   # unknown cause
    claims[60]["D_AVISO"] = "2023-01-15"          # not YYYYMMDD
    claims[61]["D_OCORR"] = "20230229"            # 2023 is not a leap year
    claims[77]["UF"] = ""                         # empty state
    claims[90]["deleted"] = True

    write("riscos.txt", "Sample risks file of company 05631 (written by tools/generate_sample_data.py).",
          RISK_FIELDS, risks)
    write("sinistros.txt", "Sample claims file of company 05631 (written by tools/generate_sample_data.py).",
          CLAIM_FIELDS, claims)


def write(name, title, fields, rows):
    names = [f.split()[1] for f in fields]
    with open(os.path.join(SAMPLES, name), "w", encoding="utf-8") as out:
        out.write("# " + title + "\n")
        for f in fields:
            out.write(f + "\n")
        for row in rows:
            values = "|".join(row[n] for n in names)
            out.write(("*|" if row["deleted"] else "") + values + "\n")


if __name__ == "__main__":
    main()
