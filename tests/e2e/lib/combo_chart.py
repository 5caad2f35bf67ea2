#!/usr/bin/env python3
"""combo_chart.py SRC DST: SRC (pptx__shp-common-props.pptx) with a line on a
second pair of axes, both titled, added to its column chart."""
import sys
import zipfile

PART = "ppt/charts/chart1.xml"


def title(text):
    return (f"<c:title><c:tx><c:rich><a:bodyPr/><a:lstStyle/><a:p><a:r><a:rPr lang=\"en-US\"/><a:t>{text}</a:t>"
            "</a:r></a:p></c:rich></c:tx><c:overlay val=\"0\"/></c:title>")


LINE = ("<c:lineChart><c:grouping val=\"standard\"/><c:varyColors val=\"0\"/><c:ser><c:idx val=\"3\"/>"
        "<c:order val=\"3\"/><c:tx><c:v>Share of the market</c:v></c:tx><c:val><c:numLit><c:ptCount val=\"4\"/>"
        + "".join(f"<c:pt idx=\"{i}\"><c:v>{v}</c:v></c:pt>" for i, v in enumerate((10, 25, 40, 30)))
        + "</c:numLit></c:val></c:ser><c:marker val=\"1\"/><c:axId val=\"900\"/><c:axId val=\"901\"/></c:lineChart>")
AXES = ("<c:catAx><c:axId val=\"900\"/><c:scaling><c:orientation val=\"minMax\"/></c:scaling><c:delete val=\"0\"/>"
        "<c:axPos val=\"t\"/>" + title("Quarter of the year") + "<c:crossAx val=\"901\"/><c:crosses val=\"max\"/>"
        "</c:catAx><c:valAx><c:axId val=\"901\"/><c:scaling><c:orientation val=\"minMax\"/></c:scaling>"
        "<c:delete val=\"0\"/><c:axPos val=\"r\"/>" + title("Percent of all sales")
        + "<c:crossAx val=\"900\"/><c:crosses val=\"max\"/><c:crossBetween val=\"between\"/></c:valAx>")

src, dst = sys.argv[1:]
with zipfile.ZipFile(src) as zin, zipfile.ZipFile(dst, "w", zipfile.ZIP_DEFLATED) as zout:
    for item in zin.infolist():
        data = zin.read(item.filename)
        if item.filename == PART:
            text = data.decode()
            assert text.count("</c:barChart>") == 1 and text.count("</c:plotArea>") == 1, "not the chart expected"
            text = text.replace("</c:barChart>", "</c:barChart>" + LINE).replace("</c:plotArea>", AXES + "</c:plotArea>")
            data = text.encode()
        zout.writestr(item, data)
