build/seq.ucd: seq.qvs PARTS.INC
PARTS.INC:
