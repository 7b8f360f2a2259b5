// The qorsv program: the console's start-up with the HTTP front end wired in.
#include "console/program.h"
#include "http/front_end.h"

int main() {
  qorsv::HttpFrontEnd front_end;
  return qorsv::RunProgram(front_end);
}
