#include "adobe_samples.h"

int main() { return 0; }
