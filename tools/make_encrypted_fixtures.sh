#!/usr/bin/env bash
# Writes the encrypted fixtures of the tests from examples/sample.pdf with qpdf
# (Debian package qpdf): RC4 40-bit and 128-bit, with and without a user
# password, with chosen permissions, one with object streams, and one AES file.
set -euo pipefail
cd "$(dirname "$0")/.."
in=examples/sample.pdf
out=tests/fixtures/encrypted
mkdir -p "$out"
qpdf --static-id --allow-weak-crypto --encrypt "" owner 40 -- "$in" "$out/rc4-40-empty-user.pdf"
qpdf --static-id --allow-weak-crypto --encrypt user owner 40 --print=n --modify=n -- "$in" "$out/rc4-40.pdf"
qpdf --static-id --allow-weak-crypto --encrypt user owner 128 --use-aes=n --print=low --extract=n -- "$in" "$out/rc4-128.pdf"
qpdf --static-id --allow-weak-crypto --object-streams=generate --encrypt user owner 128 --use-aes=n -- "$in" "$out/rc4-128-objstm.pdf"
qpdf --static-id --allow-weak-crypto --encrypt same same 128 --use-aes=n -- "$in" "$out/rc4-128-same.pdf"
qpdf --static-id --allow-weak-crypto --encrypt user owner 128 --use-aes=y -- "$in" "$out/aes-128.pdf"
# A user password of 40 bytes: only its first 32 count.
qpdf --static-id --allow-weak-crypto --encrypt 0123456789abcdefghijklmnopqrstuvWXYZWXYZ owner 128 --use-aes=n -- \
  "$in" "$out/rc4-128-long-password.pdf"
# No permissions at all (P with every flag clear).
qpdf --static-id --allow-weak-crypto --encrypt user owner 128 --use-aes=n --print=none --modify=none --extract=n \
  --annotate=n --form=n --assemble=n -- "$in" "$out/rc4-128-no-permissions.pdf"
# Two pages sharing one content stream, with a string in the stream's
# dictionary (qpdf rebuilds the cross-reference table of this hand-written file).
shared=$(mktemp)
trap 'rm -f "$shared"' EXIT
cat >"$shared" <<'PDF'
%PDF-1.4
1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj
2 0 obj << /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 612 792]
  /Resources << /Font << /F1 6 0 R >> >> >> endobj
3 0 obj << /Type /Page /Parent 2 0 R /Contents 5 0 R >> endobj
4 0 obj << /Type /Page /Parent 2 0 R /Contents 5 0 R >> endobj
5 0 obj << /Length 44 /Note (a string in a stream dictionary) >>
stream
BT /F1 12 Tf 72 720 Td (Shared text) Tj ET
endstream
endobj
6 0 obj << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> endobj
trailer << /Root 1 0 R >>
%%EOF
PDF
qpdf --static-id --allow-weak-crypto --encrypt user owner 40 -- "$shared" "$out/rc4-40-shared-content.pdf" || [ $? -eq 3 ]
