#include "app/measure/views/graph.h"

#include <QChart>
#include <QLegendMarker>
#include <QLineSeries>
#include <QList>
#include <QPointF>
#include <QValueAxis>

#include "app/shell/views/page/qt_text.h"

using kqa::ToQString;
namespace measure = kqa::measure;

namespace {

QList<QPointF> Points(const auto& curve) {
  QList<QPointF> points;
  points.reserve(static_cast<qsizetype>(curve.size()));
  for (const measure::CurvePoint& point : curve) points.append({point.x, point.y});
  return points;
}

QLineSeries* Series(QChart& chart, const QString& name, const QColor& colour) {
  auto* series = new QLineSeries(&chart);
  series->setName(name);
  QPen pen(colour);
  pen.setWidthF(1.0);
  series->setPen(pen);
  chart.addSeries(series);
  return series;
}

// Ticks on round numbers: every 5 or 10 MHz, 10 dB, a tenth of the time
// range, 40 ADC units.
int TickCount(double low, double high, double step) {
  return static_cast<int>((high - low) / step + 0.5) + 1;
}

}  // namespace

CGraph::CGraph(QWidget* parent) : QChartView(parent) {
  auto* chart = new QChart;
  chart->setMargins(QMargins(4, 4, 4, 4));
  chart->legend()->setAlignment(Qt::AlignRight);
  axisX_ = new QValueAxis(chart);
  axisY_ = new QValueAxis(chart);
  for (QValueAxis* axis : {axisX_, axisY_}) axis->setLabelFormat(QStringLiteral("%.0f"));
  chart->addAxis(axisX_, Qt::AlignBottom);
  chart->addAxis(axisY_, Qt::AlignLeft);
  spectrum_ = Series(*chart, tr("Spectrum"), QColor(0x1f, 0x5f, 0xbf));
  golden_ = Series(*chart, tr("Golden unit"), QColor(0xd0, 0x80, 0x00));
  const QString names[] = {tr("I"), tr("I (RX 1)"), tr("Q"), tr("Q (RX 1)")};
  const QColor colours[] = {QColor(0x1f, 0x5f, 0xbf), QColor(0x20, 0x90, 0x60),
                            QColor(0xc0, 0x30, 0x30), QColor(0x80, 0x40, 0xa0)};
  for (std::size_t i = 0; i < time_.size(); ++i) time_[i] = Series(*chart, names[i], colours[i]);
  for (QLineSeries* series : chart->findChildren<QLineSeries*>()) {
    series->attachAxis(axisX_);
    series->attachAxis(axisY_);
  }
  // setChart() hands back the view's default chart instead of deleting it.
  QChart* defaultChart = this->chart();
  setChart(chart);
  delete defaultChart;
  setRenderHint(QPainter::Antialiasing);
  setMinimumHeight(300);
  setFrame(measure::FrequencyGraph(20));
}

void CGraph::setFrame(const measure::GraphFrame& frame) {
  frame_ = frame;
  chart()->setTitle(ToQString(frame.title));
  axisX_->setTitleText(ToQString(frame.xLabel));
  axisY_->setTitleText(ToQString(frame.yLabel));
  axisX_->setRange(frame.xMin, frame.xMax);
  axisY_->setRange(frame.yMin, frame.yMax);
  const bool frequency = frame.xMin < 0;
  axisX_->setTickCount(frequency ? TickCount(frame.xMin, frame.xMax, frame.xMax / 4)
                                 : TickCount(frame.xMin, frame.xMax, frame.xMax / 10));
  axisY_->setTickCount(TickCount(frame.yMin, frame.yMax, frequency ? 10 : 40));
  for (QLineSeries* series : chart()->findChildren<QLineSeries*>()) {
    series->clear();
    series->setVisible(false);
  }
  for (QLegendMarker* marker : chart()->legend()->markers()) marker->setVisible(false);
}

void CGraph::showSpectrum(const measure::Spectrum& spectrum, bool golden) {
  chart()->setTitle(ToQString(measure::NoiseTitle(spectrum.noiseFigure)));
  spectrum_->replace(Points(spectrum.curve));
  golden_->replace(Points(spectrum.golden));
  spectrum_->setVisible(true);
  chart()->legend()->markers(spectrum_).front()->setVisible(true);
  setGoldenVisible(golden);
}

void CGraph::setGoldenVisible(bool visible) {
  const bool drawn = !golden_->points().isEmpty();
  golden_->setVisible(visible && drawn);
  chart()->legend()->markers(golden_).front()->setVisible(visible && drawn);
}

void CGraph::showTimeCurves(const std::vector<std::vector<measure::CurvePoint>>& curves, bool showI,
                            bool showQ) {
  // Two curves: real and imaginary part of path 0; four: the real parts of
  // paths 0 and 1, then their imaginary parts.
  const bool twoPaths = curves.size() == 4;
  const std::array<int, 4> slot = twoPaths ? std::array{0, 1, 2, 3} : std::array{0, 2, -1, -1};
  for (std::size_t i = 0; i < curves.size() && i < slot.size(); ++i) {
    QLineSeries* series = time_[static_cast<std::size_t>(slot[i])];
    series->replace(Points(curves[i]));
    const bool real = twoPaths ? i < 2 : i == 0;
    const bool visible = real ? showI : showQ;
    series->setVisible(visible);
    chart()->legend()->markers(series).front()->setVisible(visible);
  }
}

QString CGraph::titleText() const {
  return chart()->title();
}
QString CGraph::xLabel() const {
  return axisX_->titleText();
}
QString CGraph::yLabel() const {
  return axisY_->titleText();
}
std::pair<double, double> CGraph::xRange() const {
  return {axisX_->min(), axisX_->max()};
}
std::pair<double, double> CGraph::yRange() const {
  return {axisY_->min(), axisY_->max()};
}
