#pragma once
#define IDD_BASELINE 100
#define BASELINE_CAPTION "Baseline Dialog"
