#pragma once

class QWidget;

namespace fendrik {

class ResultListView;

// Gives the list alternating row bands: the first row in the alternate
// colour, the next in the list's own background, and so on, each band one
// row high. The alternate colour is the background colour of the hidden
// picture box. An empty list gets no bands. Later sorting, filtering or row
// removal needs no new call: the bands belong to row positions.
void SetAltLinesBackground(ResultListView& list, const QWidget& picture);

}  // namespace fendrik
