# cmake -D input=<file> -D output=<file> -P crlf.cmake
#
# A copy of a text file with Windows line ends, for the zip: Notepad of older
# Windows Server releases shows a file with bare LF line ends as one line. Line
# ends already CR LF stay as they are.
file(READ ${input} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${output} "${text}")
