// Uses the text component alone.
#include <core/text/Utf.h>

int main() { return Quorvin::CountUtf8CodePoints("na\xc3\xafve") == 5 ? 0 : 1; }
