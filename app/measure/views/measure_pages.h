#pragma once

// The measurement pages the command line adds: f adds Noise Level and FFT
// Graph, p the PAPD Test page, i the IQ Cal page.
#include "app/measure/views/fft_graph_page.h"
#include "app/measure/views/iq_calibration_page.h"
#include "app/measure/views/noise_level_page.h"
#include "app/measure/views/papd_test_page.h"
