#!/usr/bin/python3
"""The whole-market export as a plain script would do it: requests and openpyxl,
five threads for the profile pages. The yardstick for bench_full_list.

  /usr/bin/python3 bench/full_list.py BASEURL OUT.xlsx

Prints "funds N pages P seconds S" on its last line, S from the count probe to
the saved workbook.
"""
import concurrent.futures
import json
import re
import sys
import time

import openpyxl
import requests
from openpyxl.styles import Alignment, Border, Font, Side

PROBE = "/data/FundGuideapi.aspx?dt=4&sd=&ed=&sc=r&st=desc&pi=1&pn=20&zf=diy&sh=list&rnd=0.9027817428207583"
PAGE = "/data/FundGuideapi.aspx?dt=4&sd=&ed=&sc=3y&st=desc&pi={}&pn=20&zf=diy&sh=list&rnd=0.6066118187338245"
HEADER = ["基金名称", "基金代码", "基金类型", "日期", "日增长率", "近1周", "近1月", "近3月", "近6月", "今年来",
          "近一年", "近2年", "近3年", "规模(亿)", "任期回报", "标准差1年", "夏普比率1年"]
RETURN_FIELDS = [17, 5, 6, 7, 8, 4, 9, 10, 11]
MANAGER = re.compile(r"<th>任职期间</th><th>任职回报</th></tr></thead><tbody><tr><td>.*?</a> </td><td>.*?</td></tr>",
                     re.I | re.M)
NUMBER = re.compile(r"^[+-]?\d+(\.\d+)?$")


def ranking(base, path):
    try:
        text = requests.get(base + path, timeout=30).content.decode("utf-8", "replace")
        text = text[text.rindex("var rankData =") + len("var rankData ="):]
        return json.loads(text[text.index("{"):text.rindex("}") + 1])
    except (requests.RequestException, ValueError):
        return {}


def cut(text, front, back):
    start = text.find(front)
    if start < 0:
        return ""
    start += len(front)
    end = text.find(back, start)
    return text[start:end] if end >= 0 else ""


def page(base, path):
    try:
        return requests.get(base + path, timeout=30).text
    except requests.RequestException:
        return ""


def profile(base, code):
    size = cut(page(base, "/jbgk_" + code + ".html "), "<tr><th>资产规模</th><td>", "亿元（截止至")
    match = MANAGER.search(page(base, "/jjjl_" + code + ".html"))
    tenure = cut(cut(match.group(0), "</td><td class=", "</tr>"), ">", "</td>") if match else ""
    risk = page(base, "/tsdata_" + code + ".html ")
    return [size, tenure, cut(risk, "标准差</td><td class='num'>", "%</td><td class='"),
            cut(risk, "夏普比率</td><td class='num'>", "</td><td class='num'>")]


def row_of(entry):
    f = entry.split(",")
    field = lambda i: f[i] if i < len(f) else ""
    return [field(1), field(0), field(3), field(15)] + [field(i) + "%" if field(i) else "-" for i in RETURN_FIELDS]


def typed(text):
    if NUMBER.match(text):
        return float(text), None
    if text.endswith("%") and NUMBER.match(text[:-1]):
        return float(text[:-1]) / 100, "0.00%" if "." in text else "0%"
    return (text if text else None), None


def write(rows, out):
    book = openpyxl.Workbook()
    sheet = book.active
    thin = Side(style="thin")
    border = Border(left=thin, right=thin, top=thin, bottom=thin)
    body, bold, centre = Font(name="宋体", size=12), Font(name="宋体", size=12, bold=True), Alignment(horizontal="center")
    for r, texts in enumerate(rows, start=1):
        sheet.row_dimensions[r].height = 18
        for c, text in enumerate(texts, start=1):
            value, number_format = typed(text)
            cell = sheet.cell(row=r, column=c, value=value)
            cell.border, cell.alignment, cell.font = border, centre, bold if r == 1 else body
            if c <= 2:
                cell.number_format = "000000"
            elif number_format:
                cell.number_format = number_format
    sheet.column_dimensions["A"].width = 25
    for c in range(2, len(HEADER) + 1):
        sheet.column_dimensions[openpyxl.utils.get_column_letter(c)].width = 11
    sheet.freeze_panes = "B2"
    book.save(out)


def main():
    base, out = sys.argv[1], sys.argv[2]
    start = time.monotonic()
    probe = ranking(base, PROBE)
    funds, pages = int(probe.get("datacount", 0) or 0), int(probe.get("allPages", 0) or 0)
    rows = []
    for p in range(1, pages + 1):
        rows += [row_of(entry) for entry in ranking(base, PAGE.format(p)).get("datas", [])]
    rows = rows[:funds] + [[""] * 13 for _ in range(funds - len(rows))]
    with concurrent.futures.ThreadPoolExecutor(max_workers=5) as pool:
        figures = list(pool.map(lambda row: profile(base, row[1]) if row[1] else [""] * 4, rows))
    write([HEADER] + [row + f for row, f in zip(rows, figures)], out)
    print("funds %d pages %d seconds %.2f" % (funds, pages, time.monotonic() - start))


if __name__ == "__main__":
    main()
