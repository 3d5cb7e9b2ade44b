#pragma once

#include <QChartView>
#include <array>
#include <vector>

#include "app/measure/fft_graph_tool.h"

class QLineSeries;
class QValueAxis;

// The FFT page's graph (Qt Charts): a frame (title, axis labels and ranges)
// and the curves of one capture, a spectrum with the golden unit's or up to
// four time curves.
class CGraph : public QChartView {
  Q_OBJECT

 public:
  explicit CGraph(QWidget* parent = nullptr);

  // Title, labels and ranges; the curves are emptied.
  void setFrame(const kqa::measure::GraphFrame& frame);
  // A spectrum; the title shows its noise figure; the golden curve is shown
  // when asked for.
  void showSpectrum(const kqa::measure::Spectrum& spectrum, bool golden);
  // Time curves as TimeCurves makes them (two for one receive path: real,
  // imaginary; four otherwise: real of paths 0 and 1, imaginary of 0 and 1);
  // `showI` and `showQ` pick the real and the imaginary ones.
  void showTimeCurves(const std::vector<std::vector<kqa::measure::CurvePoint>>& curves, bool showI,
                      bool showQ);
  void setGoldenVisible(bool visible);

  // What is drawn, for tests.
  QString titleText() const;
  QString xLabel() const;
  QString yLabel() const;
  std::pair<double, double> xRange() const;
  std::pair<double, double> yRange() const;
  QLineSeries& spectrumSeries() const { return *spectrum_; }
  QLineSeries& goldenSeries() const { return *golden_; }
  QLineSeries& timeSeries(int index) const { return *time_[static_cast<std::size_t>(index)]; }

 private:
  QValueAxis* axisX_;
  QValueAxis* axisY_;
  QLineSeries* spectrum_;
  QLineSeries* golden_;
  std::array<QLineSeries*, 4> time_;
  kqa::measure::GraphFrame frame_;
};
