#!/usr/bin/env python3
"""Generates src/net/ApnTable.cpp, the built-in APN table of the AT path.

The keys and their order are fixed (duplicates, the "-0"/"-1" second-APN rows
and the six-digit keys shadowed by earlier five-digit ones are kept on
purpose: lookup takes the first matching row). A few rows carry fixed APNs;
the others take the internet APN that mobile-broadband-provider-info lists
for the network with that MCC/MNC, and "internet" where it lists none.

    scripts/gen-apn-table.py [serviceproviders.xml] > src/net/ApnTable.cpp

Standard library only. The program does not need the package at run time:
the generated file is committed.
"""
import re
import sys
import xml.etree.ElementTree as ET

KEYS = """
70601 72207 50502 50503 23205 20620 20610 20601 72405 30272 20820 46001 46000 46002 46003
44010 46692 46601 46688 46689 46689-0 46693 46697 46699 45400 45410 45406 45615 45404 45403
45412 45416 45419 45501 45503 45500 45504 24405 24491 24412 24421 50501 50503 50506 50514
23201 23203 23207 23210 20620 20610 42601 42602 42604 25701 21805 28405 28401 302720 30237
302370 302490 302500 302660 73001 73010 73002 73003 21901 21910 23002 23001 23003 23806 23801
23830 23802 23820 60201 60202 60203 24801 24802 24803 20801 20810 20820 26203 26207 26208
26201 26202 20201 20210 20205 34001 21601 21630 21670 27401 40457 40458 40466 40438 40474
40475 40476 40477 40481 40434 40451 40453 40454 40455 40459 40462 40464 40480 40471 40472
40473 40421 40427 40405 40413 40486 40404 40422 40420 40414 40402 40403 40410 40431 40440
40445 40449 40470 40492 40493 40495 40496 40497 40498 51021 51010 51011 51001 51001 51089
51008 27201 27202 27203 27205 42502 42503 42501 42510 22299 22298 22201 22210 22288 338180
33805 41601 41677 40101 40102 41902 41903 41904 24701 24702 41501 41503 29505 24602 24601
24603 27001 27077 29401 50219 50216 50212 50213 50218 27801 27821 33402 33403 20408 20420
20412 20416 20404 53001 53005 53024 24202 24205 24201 24203 41003 71610 51502 51503 51501
51505 26001 26002 26003 26005 26006 26007 26008 26009 26010 26011 26012 26013 26014 26015
26016 26017 26803 26806 26801 42701 22601 22610 25099 25028 25002 25001 25092 42001 42007
42003 22001 22004 22003 52503 52501 52502 52505 23102 23106 29341 29340 65510 65501 65507
21403 21409 21407 21405 21401 21406 41301 41302 41305 24002 24004 24007 24005 24001 24008
22803 22802 22801 52001 52023 52018 52099 52002 34712 28603 28602 28601 23450 23458 23410
23433 23430 23431 23432 23415 23420 25503 25501 42401 42402 31016 31020 31021 31022 31023
31024 31025 31026 31027 31031 31080 310100 310420 310150 310170 310380 310410 310980 310160
310200 310210 310220 310230 310240 310250 310260 310270 310280 310290 310300 310310 310320
310450 310460 310570 310630 310660 310800 310030 310870 310880 734002 73402 73404 45201
45202 45204 71606 74807 74801 72402 72403 72404 72406 72410 72411 72416 72423 72424 72431
72432 72433 72434 63902 311360 311570 311530 62120 62130 62150 62160 70401 70402 70403
714020 52811 52802 42202 72234 36301 36301-1 71021 71073 710300 311030 732101 732103 732123
74404 714001 70602 70601 70604 74000 36291 41805 44000 44004 44006 44020 44040 44041 44042
44043 44044 44045 44046 44047 44048 44090 44092 44093 44094 44095 44096 44097 44098 63401
54720 37201 45601 45602 45604 45605 45606 45608 45609 45618 63102 350000 330110 330110-1
31180 311500 311530 73603 31058 31066 31038 31015 31017 31018
""".split()

FIXED = {
    "50502": "internet", "50503": "internet",
    "46000": "CMNET", "46002": "CMNET",
    "46001": "3GNET", "46003": "3GNET",
    "311500": "INT",
    "31038": "proxy",
}

ROWS = 437
KEY_SIZE = 10
APN_SIZE = 50
DEFAULT_APN = "internet"
APN_CHARS = re.compile(r"^[A-Za-z0-9._-]+$")


def internet_apns(xml_path):
    """MCC+MNC -> the internet APNs listed for that network, in file order."""
    nets = {}
    root = ET.parse(xml_path).getroot()
    for gsm in root.iter("gsm"):
        ids = [(n.get("mcc", ""), n.get("mnc", "")) for n in gsm.findall("network-id")]
        apns = []
        for apn in gsm.findall("apn"):
            usages = [u.get("type") for u in apn.findall("usage")]
            if usages and "internet" not in usages:
                continue
            value = (apn.get("value") or "").strip()
            if value and APN_CHARS.match(value) and len(value) < APN_SIZE and value not in apns:
                apns.append(value)
        for mcc, mnc in ids:
            key = mcc + mnc
            for value in apns:
                nets.setdefault(key, [])
                if value not in nets[key]:
                    nets[key].append(value)
    return nets


def apn_for(key, nets):
    if key in FIXED:
        return FIXED[key]
    digits, _, suffix = key.partition("-")
    found = nets.get(digits, [])
    if suffix and len(found) > 1:
        return found[1]  # the network's second APN
    return found[0] if found else DEFAULT_APN


def main():
    xml_path = sys.argv[1] if len(sys.argv) > 1 else \
        "/usr/share/mobile-broadband-provider-info/serviceproviders.xml"
    if len(KEYS) != ROWS:
        sys.exit("key list has %d rows, want %d" % (len(KEYS), ROWS))
    nets = internet_apns(xml_path)
    out = sys.stdout
    out.write("// Generated by scripts/gen-apn-table.py from mobile-broadband-provider-info;\n"
              "// edit the script, not this file. The key order is significant: lookup\n"
              "// takes the first row whose key starts the IMSI.\n")
    out.write('#include "net/ApnTable.h"\n\nnamespace kv {\n\n')
    out.write("const ApnRow kApnTable[kApnTableRows] = {\n")
    for key in KEYS:
        apn = apn_for(key, nets)
        assert len(key) < KEY_SIZE and len(apn) < APN_SIZE and APN_CHARS.match(apn)
        out.write('    {"%s", "%s"},\n' % (key, apn))
    out.write("};\n\n} // namespace kv\n")


if __name__ == "__main__":
    main()
