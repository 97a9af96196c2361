// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/GenreFilterBar.h"

#include "library/TrackLibrary.h"
#include "ui/style.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QPushButton>
#include <QStringList>
#include <algorithm>
#include <tuple>

// The buttons' texts were the window's own and keep its translations.
GenreFilterBar::GenreFilterBar(QWidget* owner, QBoxLayout* buttonColumn, QWidget* songGrid, QWidget* pause)
    : window(owner), column(buttonColumn), grid(songGrid), pauseButton(pause)
{}

void GenreFilterBar::rebuild(const TrackLibrary* library)
{
    removeButtons();
    const int spacing = column->spacing();
    const int buttonHeight = textScale().pixels(50);
    const int slotCount =
        (grid->height() - pauseButton->height() - 2 * spacing - buttonHeight) / (spacing + buttonHeight);
    bool restMade = false;
    for (int slot = 1; slot <= slotCount; ++slot) {
        const QString genre = library ? library->genreAt(slot - 1) : QString();
        if (genre.isEmpty())
            break;
        if (!genreButtonGroup)
            addAllGenresButton(slot);
        QAbstractButton* button = addGenreButton();
        if (slot < slotCount) {
            button->setText(genre);
            genreList.append(genre);
        } else {
            button->setText(QCoreApplication::translate("MainWindow", "The rest"));
            button->setToolTip(restToolTip(library, slot - 1));
            restMade = true;
        }
        column->insertWidget(slot + 1, button);
        genreButtons.push_back(button);
        genreButtonGroup->addButton(button, slot);
    }
    if (!restMade)
        genreList.clear();
    if (genreButtonGroup) {
        connect(genreButtonGroup, QOverload<QAbstractButton*>::of(&QButtonGroup::buttonClicked), this,
                &GenreFilterBar::buttonClicked);
        if (!genreButtonGroup->buttons().isEmpty()) {
            pauseButton->show();
            keepFilterInForce();
        }
    }
    for (QAbstractButton* button : genreButtons)
        button->setAccessibleDescription(
            QCoreApplication::translate("MainWindow", "Shows only the songs of this genre in the grid"));
}

void GenreFilterBar::removeButtons()
{
    if (genreButtonGroup)
        genreButtonGroup->disconnect();
    // The buttons go later, through the event loop: a click on one of them may be what rebuilds them.
    for (QAbstractButton* button : genreButtons) {
        column->removeWidget(button);
        if (genreButtonGroup)
            genreButtonGroup->removeButton(button);
        button->hide();
        button->deleteLater();
    }
    genreButtons.clear();
    if (genreButtonGroup)
        genreButtonGroup->deleteLater();
    genreButtonGroup = nullptr;
    genreList.clear();
}

void GenreFilterBar::addAllGenresButton(int slot)
{
    genreButtonGroup = new QButtonGroup(window);
    auto* all = new QPushButton(QCoreApplication::translate("MainWindow", "All genres"), window);
    all->setCheckable(true);
    all->setChecked(true);
    all->setFixedSize(textScale().pixels(92), textScale().pixels(50));
    applyGenreButtonStyle(all);
    genreButtonGroup->addButton(all, 0);
    column->insertWidget(slot, all);
    genreButtons.push_back(all);
}

QAbstractButton* GenreFilterBar::addGenreButton()
{
    auto* button = new QPushButton(window);
    button->setCheckable(true);
    button->setMinimumSize(textScale().pixels(92), textScale().pixels(50));
    QSizePolicy policy(QSizePolicy::Minimum, QSizePolicy::Expanding);
    policy.setHeightForWidth(button->sizePolicy().hasHeightForWidth());
    button->setSizePolicy(policy);
    applyGenreButtonStyle(button);
    return button;
}

QString GenreFilterBar::restToolTip(const TrackLibrary* library, int firstRank)
{
    QStringList covered;
    for (int rank = firstRank;; ++rank) {
        const QString rest = library->genreAt(rank);
        if (rest.isEmpty())
            break;
        covered << QString(rest).replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    return QCoreApplication::translate("MainWindow", "Shows tracks of the genres") + QStringLiteral(":\n") +
           covered.join(QLatin1Char('\n')) + QStringLiteral("\n(") +
           QCoreApplication::translate("MainWindow", "and tracks without a genre") + QLatin1Char(')');
}

void GenreFilterBar::keepFilterInForce()
{
    // The remembered place must still hold the button of the filter in force: fewer slots, more slots or a
    // new ranking can put another genre, or "The rest", where the chosen one was.
    const bool inRange = genreButtonIndex >= 0 && genreButtonIndex < static_cast<int>(genreButtons.size());
    if (!inRange || filterOfButton(genreButtonIndex) != std::make_pair(currentGenre, genreFilterMode))
        showAllGenres();
    genreButtons.at(static_cast<size_t>(genreButtonIndex))->setChecked(true);
}

bool GenreFilterBar::shows(const QString& genre) const
{
    if (genreFilterMode == 1 && !genreList.isEmpty())
        return !genreList.contains(genre);
    return currentGenre.isEmpty() || genre == currentGenre;
}

std::pair<QString, int> GenreFilterBar::filterOfButton(int index) const
{
    const int count = static_cast<int>(genreButtons.size());
    if (index <= 0 || index >= count)
        return {QString(), 0};
    if (!genreList.isEmpty() && index == count - 1)
        return {QString(), 1};
    return {genreButtons.at(static_cast<size_t>(index))->text(), 0};
}

void GenreFilterBar::choose(QAbstractButton* button)
{
    const auto found = std::find(genreButtons.begin(), genreButtons.end(), button);
    genreButtonIndex = found == genreButtons.end() ? 0 : static_cast<int>(found - genreButtons.begin());
    std::tie(currentGenre, genreFilterMode) = filterOfButton(genreButtonIndex);
}

void GenreFilterBar::showAllGenres()
{
    genreButtonIndex = 0;
    currentGenre.clear();
    genreFilterMode = 0;
}

void GenreFilterBar::checkAllGenres()
{
    if (!genreButtons.empty())
        genreButtons.front()->setChecked(true);
    showAllGenres();
}
