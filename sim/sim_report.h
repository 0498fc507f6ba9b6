#pragma once
#include <string>

// The JSON summary of what the simulated module saw.
std::string sim_report_json();
