#!/usr/bin/env bash
# Writes the encrypted fixtures of the tests from examples/sample.pdf with qpdf
# (Debian package qpdf): RC4 40-bit and 128-bit, with and without a user
# password, with chosen permissions, one with object streams; RC4 and AES-128
# through crypt filters (V 4), AES-256 (V 5, revisions 5 and 6), passwords
# beyond ASCII, metadata left in clear, and a stream with its own Crypt filter.
set -euo pipefail
# --static-id and --static-aes-iv make the RC4 and AES-128 files the same on
# every run; AES-256 files get new salts and a new key each time.
cd "$(dirname "$0")/.."
in=examples/sample.pdf
out=tests/fixtures/encrypted
mkdir -p "$out"
qpdf --static-id --allow-weak-crypto --encrypt "" owner 40 -- "$in" "$out/rc4-40-empty-user.pdf"
qpdf --static-id --allow-weak-crypto --encrypt user owner 40 --print=n --modify=n -- "$in" "$out/rc4-40.pdf"
qpdf --static-id --allow-weak-crypto --encrypt user owner 128 --use-aes=n --print=low --extract=n -- "$in" "$out/rc4-128.pdf"
qpdf --static-id --allow-weak-crypto --object-streams=generate --encrypt user owner 128 --use-aes=n -- "$in" "$out/rc4-128-objstm.pdf"
qpdf --static-id --allow-weak-crypto --encrypt same same 128 --use-aes=n -- "$in" "$out/rc4-128-same.pdf"
qpdf --static-id --static-aes-iv --allow-weak-crypto --encrypt user owner 128 --use-aes=y -- "$in" "$out/aes-128.pdf"
qpdf --static-id --static-aes-iv --allow-weak-crypto --encrypt "" owner 128 --use-aes=y -- "$in" "$out/aes-128-empty-user.pdf"
qpdf --static-id --static-aes-iv --allow-weak-crypto --object-streams=generate --encrypt user owner 128 --use-aes=y -- \
  "$in" "$out/aes-128-objstm.pdf"
# Metadata in clear: the key computation says so.
qpdf --static-id --static-aes-iv --allow-weak-crypto --encrypt user owner 128 --use-aes=y --cleartext-metadata -- \
  "$in" "$out/aes-128-clear-metadata.pdf"
# Crypt filters with RC4 (V 4, R 4, CFM V2).
qpdf --static-id --allow-weak-crypto --encrypt user owner 128 --use-aes=n --force-V4 -- "$in" "$out/rc4-128-v4.pdf"
# AES-256: revision 6 (with object streams too) and the older revision 5.
qpdf --static-id --static-aes-iv --encrypt user owner 256 --print=low --extract=n -- "$in" "$out/aes-256.pdf"
qpdf --static-id --static-aes-iv --object-streams=generate --encrypt "" owner 256 -- "$in" "$out/aes-256-empty-user-objstm.pdf"
qpdf --static-id --static-aes-iv --allow-weak-crypto --encrypt user owner 256 --force-R5 -- "$in" "$out/aes-256-r5.pdf"
qpdf --static-id --static-aes-iv --encrypt same same 256 -- "$in" "$out/aes-256-same.pdf"
# Passwords beyond ASCII (the arguments are UTF-8): qpdf keeps UTF-8 for
# AES-256 and stores PDFDocEncoding for RC4.
qpdf --static-id --static-aes-iv --encrypt 'pässwörd' 'öwnér' 256 -- "$in" "$out/aes-256-non-ascii.pdf"
qpdf --static-id --allow-weak-crypto --encrypt 'pässwörd' 'öwnér' 128 --use-aes=n -- "$in" "$out/rc4-128-non-ascii.pdf"
# A user password of 40 bytes: only its first 32 count.
qpdf --static-id --allow-weak-crypto --encrypt 0123456789abcdefghijklmnopqrstuvWXYZWXYZ owner 128 --use-aes=n -- \
  "$in" "$out/rc4-128-long-password.pdf"
# No permissions at all (P with every flag clear).
qpdf --static-id --allow-weak-crypto --encrypt user owner 128 --use-aes=n --print=none --modify=none --extract=n \
  --annotate=n --form=n --assemble=n -- "$in" "$out/rc4-128-no-permissions.pdf"
# Two pages sharing one content stream, with a string in the stream's
# dictionary (qpdf rebuilds the cross-reference table of this hand-written file).
shared=$(mktemp)
crypt=$(mktemp)
trap 'rm -f "$shared" "$crypt"' EXIT
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

# A stream with its own Crypt filter: qpdf writes none, so an update appended
# to an AES-256 file replaces page 1's content by a stream stored in clear
# under the Identity crypt filter. The update repeats the trailer of the file
# it extends (Root, Encrypt, ID) and points back to its cross-reference table.
qpdf --static-id --static-aes-iv --object-streams=disable --encrypt user owner 256 -- "$in" "$crypt"
python3 - "$crypt" "$out/aes-256-crypt-filter.pdf" <<'PY'
import re, sys
data = open(sys.argv[1], 'rb').read()
start = int(re.findall(rb'startxref\s+(\d+)', data)[-1])
trailer = data[data.rindex(b'trailer'):]
root = re.search(rb'/Root\s+(\d+\s+\d+\s+R)', trailer).group(1)
encrypt = re.search(rb'/Encrypt\s+(\d+\s+\d+\s+R)', trailer).group(1)
ident = re.search(rb'/ID\s*(\[[^\]]*\])', trailer).group(1)
size = int(re.search(rb'/Size\s+(\d+)', trailer).group(1))
# Page 1's content stream: the first page object's Contents.
page = re.search(rb'/Type\s*/Page\b', data)
contents = re.compile(rb'/Contents\s+(\d+)\s+(\d+)\s+R').search(data, data.rfind(b'obj', 0, page.start()))
number, generation = int(contents.group(1)), int(contents.group(2))
text = b'BT /F1 24 Tf 72 700 Td (Stored in clear) Tj ET'
body = (b'%d %d obj\n<< /Length %d /Filter [/Crypt] /DecodeParms [<< /Type /CryptFilterDecodeParms /Name /Identity >>] >>\n'
        b'stream\n' % (number, generation, len(text)) + text + b'\nendstream\nendobj\n')
if not data.endswith(b'\n'):
    data += b'\n'
offset = len(data)
xref = b'xref\n%d 1\n%010d %05d n \n' % (number, offset, generation)
tail = (b'trailer\n<< /Size %d /Root %s /Encrypt %s /ID %s /Prev %d >>\nstartxref\n%d\n%%%%EOF\n'
        % (size, root, encrypt, ident, start, offset + len(body)))
open(sys.argv[2], 'wb').write(data + body + xref + tail)
PY

# Text in a form that only another form's resources name: the page leads to
# it through a stream dictionary.
nested=$(mktemp)
trap 'rm -f "$shared" "$crypt" "$nested"' EXIT
cat >"$nested" <<'PDF'
%PDF-1.4
1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj
2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >> endobj
3 0 obj << /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /XObject << /X1 5 0 R >> >> >> endobj
4 0 obj << /Length 7 >>
stream
/X1 Do
endstream
endobj
5 0 obj << /Type /XObject /Subtype /Form /BBox [0 0 612 792] /Length 7
  /Resources << /XObject << /X2 6 0 R >> >> >>
stream
/X2 Do
endstream
endobj
6 0 obj << /Type /XObject /Subtype /Form /BBox [0 0 612 792] /Length 47
  /Resources << /Font << /F1 7 0 R >> >> >>
stream
BT /F1 12 Tf 72 720 Td (Nested form text) Tj ET
endstream
endobj
7 0 obj << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> endobj
trailer << /Root 1 0 R >>
%%EOF
PDF
qpdf --static-id --static-aes-iv --allow-weak-crypto --encrypt user owner 128 --use-aes=y -- \
  "$nested" "$out/aes-128-nested-form.pdf" || [ $? -eq 3 ]

# Seeds of the load fuzz target: encrypted files that open with the empty
# password, so that the target decrypts their pages.
seeds=fuzz/seeds/fuzz_load_document
cp "$out/aes-128-empty-user.pdf" "$seeds/aes-128.pdf"
cp "$out/aes-256-empty-user-objstm.pdf" "$seeds/aes-256-objstm.pdf"
qpdf --static-id --allow-weak-crypto --encrypt "" owner 128 --use-aes=n --force-V4 -- "$in" "$seeds/rc4-v4.pdf"
qpdf --static-id --static-aes-iv --allow-weak-crypto --encrypt "" owner 256 --force-R5 -- "$nested" "$seeds/aes-256-r5-forms.pdf" ||
  [ $? -eq 3 ]
