// The bash completion script of wavegen, made from the kinds' field tables
// (installed as share/bash-completion/completions/wavegen).
#pragma once

#include <string>

std::string bashCompletion();
