// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <utility>
#include <vector>

class QAbstractButton;
class QBoxLayout;
class QButtonGroup;
class QWidget;
class TrackLibrary;

// The genre buttons beside the grid and the filter they choose: "All genres", the most common genres as
// far as the grid's height has room, and "The rest" for all others.
class GenreFilterBar : public QObject
{
    Q_OBJECT

public:
    // The buttons are `owner`'s, in `buttonColumn` above `pause`, which shows once there are genres;
    // `songGrid`'s height says how many fit.
    GenreFilterBar(QWidget* owner, QBoxLayout* buttonColumn, QWidget* songGrid, QWidget* pause);

    // New buttons for the library's genre ranking; the filter in force stays if its button is still there.
    void rebuild(const TrackLibrary* library);
    const std::vector<QAbstractButton*>& buttons() const { return genreButtons; }
    QString genre() const { return currentGenre; }
    bool showsEveryGenre() const { return genreFilterMode == 0 && currentGenre.isEmpty(); }
    // Whether the genre filter in force shows songs of this genre.
    bool shows(const QString& genre) const;
    // The filter of a clicked button comes into force.
    void choose(QAbstractButton* button);
    void showAllGenres();
    // "All genres" is checked and in force again.
    void checkAllGenres();

signals:
    void buttonClicked(QAbstractButton* button);

private:
    void removeButtons();
    void addAllGenresButton(int slot);
    QAbstractButton* addGenreButton();
    // The tool tip of "The rest": every genre from `firstRank` on.
    static QString restToolTip(const TrackLibrary* library, int firstRank);
    // The filter a genre button stands for (currentGenre, genreFilterMode): "All genres" (also for an
    // index that is no button), "The rest" (the last button, when genreList is not empty) or its genre.
    std::pair<QString, int> filterOfButton(int index) const;
    void keepFilterInForce();

    QWidget* window = nullptr;
    QBoxLayout* column = nullptr;
    QWidget* grid = nullptr;
    QWidget* pauseButton = nullptr;
    std::vector<QAbstractButton*> genreButtons;
    QButtonGroup* genreButtonGroup = nullptr;
    QString currentGenre;
    int genreButtonIndex = 0;
    int genreFilterMode = 0;
    QList<QString> genreList;
};
