"""Replaces the creation time that widl stamps into a type library by a
fixed one, so that the same sources always give the same .tlb."""
import re
import sys

path = sys.argv[1]
with open(path, "rb") as f:
    data = f.read()
# "Created by WIDL version N at Www Mmm dd hh:mm:ss yyyy"
data = re.sub(rb"(Created by WIDL version [0-9.]+ at )[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4}",
              lambda m: m.group(1) + b"Thu Jan  1 00:00:00 1970", data)
with open(path, "wb") as f:
    f.write(data)
