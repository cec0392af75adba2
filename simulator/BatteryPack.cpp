#include "simulator/BatteryPack.h"

#include <algorithm>
#include <cmath>

namespace voltrex::simulator {

namespace {
// A resistance per cell of a chemistry's typical cell of this capacity.
double OhmicResistance(const CellData& cell, double capacityMah) {
    return cell.OhmicShare * cell.ResistanceAmpHours / (capacityMah / 1000.0);
}
}  // namespace

BatteryPack::BatteryPack(const Settings& settings)
    : settings_(settings),
      cell_(&CellDataOf(settings.Type)),
      resistancePerCell_(settings.ResistancePerCell > 0.0
                             ? settings.ResistancePerCell
                             : OhmicResistance(*cell_, std::max(settings.CapacityMah, 1.0))),
      polarisationResistance_(resistancePerCell_ * (1.0 - cell_->OhmicShare) / cell_->OhmicShare),
      heatCapacity_(cell_->HeatCapacityPerAmpHour * std::max(settings.CapacityMah, 1.0) / 1000.0),
      stateOfCharge_(std::clamp(settings.StateOfCharge, 0.0, cell_->MaximumStateOfCharge)),
      temperature_(settings.AmbientCelsius) {
    settings_.Cells = std::max(settings_.Cells, 1);
    settings_.CapacityMah = std::max(settings_.CapacityMah, 1.0);
}

double BatteryPack::OpenCircuitVoltage() const {
    return cell_->OpenCircuitVoltage.At(stateOfCharge_) * settings_.Cells;
}

double BatteryPack::TerminalVoltage() const {
    const double cell = cell_->OpenCircuitVoltage.At(SurfaceStateOfCharge()) -
                        current_ * resistancePerCell_ * WarmthFactor() - polarisation_ +
                        overpotential_;
    return cell * settings_.Cells;
}

void BatteryPack::Advance(double seconds) {
    if (!(seconds > 0.0)) {
        return;
    }
    const double steps = std::ceil(seconds / MaximumStep);
    const double step = seconds / steps;
    for (double i = 0; i < steps; i += 1.0) {
        Step(step);
    }
}

double BatteryPack::WarmthFactor() const {
    const double rise = temperature_ - settings_.AmbientCelsius;
    return std::max(1.0 - ResistanceFallPerKelvin * rise, LeastResistanceFactor);
}

double BatteryPack::SurfaceLagAt(double current) const {
    const double amperes = std::abs(current);
    const double capacityAh = settings_.CapacityMah / 1000.0;
    if (current < 0.0) {
        return -cell_->ChargeLeadPerC * amperes / capacityAh;
    }
    // Peukert: at the rated current the whole charge comes out, above it
    // only the fraction (Irated / I)^(k - 1) before the surface is empty.
    const double rated = capacityAh / cell_->RatedHours;
    if (amperes <= rated) {
        return 0.0;
    }
    return 1.0 - std::pow(rated / amperes, cell_->PeukertExponent - 1.0);
}

void BatteryPack::Step(double h) {
    const double current = current_;
    const double charging = current < 0.0 ? -current : 0.0;
    if (current > 0.0) {
        delivered_ += current * h;
    } else {
        received_ += charging * h;
    }

    // Charge: a discharge takes all of the current out, a charge stores only
    // the efficient part; the rest is heat.
    const double efficiency = charging > 0.0 ? cell_->ChargeEfficiency.At(stateOfCharge_) : 1.0;
    const double capacityAs = settings_.CapacityMah * 3.6;
    const double stored = current > 0.0 ? -current : efficiency * charging;
    const double cellOcv = cell_->OpenCircuitVoltage.At(stateOfCharge_);
    stateOfCharge_ += stored * h / capacityAs;
    if (stateOfCharge_ < 0.0) {
        // Drawn beyond empty: nothing is left to give, the surface goes on
        // falling and the voltage collapses.
        surfaceLag_ -= stateOfCharge_;
        stateOfCharge_ = 0.0;
    }
    stateOfCharge_ = std::min(stateOfCharge_, cell_->MaximumStateOfCharge);

    // The surface, the polarisation and the overpotential each follow their
    // target with their own time constant, solved exactly over the step so
    // that any step length is stable.
    const double lagTarget = SurfaceLagAt(current);
    surfaceLag_ = lagTarget + (surfaceLag_ - lagTarget) * std::exp(-h / cell_->DiffusionSeconds);

    const double warmth = WarmthFactor();
    const double target = current * polarisationResistance_ * warmth;
    polarisation_ = target + (polarisation_ - target) * std::exp(-h / PolarisationSeconds);

    const double rise = temperature_ - settings_.AmbientCelsius;
    const double opTarget = charging > 0.0 ? cell_->ChargeOverpotential.At(stateOfCharge_) +
                                                 cell_->VoltsPerKelvin * rise
                                           : 0.0;
    overpotential_ =
        opTarget + (overpotential_ - opTarget) * std::exp(-h / cell_->ChargeOverpotentialSeconds);

    // Heat per cell: resistive losses plus the unstored part of a charge, which
    // the cell turns into heat at about its own voltage.
    const double heat =
        current * current * (resistancePerCell_ + polarisationResistance_) * warmth +
        (1.0 - efficiency) * charging * cellOcv;
    const double cooling = rise * heatCapacity_ / CoolingSeconds;
    temperature_ += (heat - cooling) * h / heatCapacity_;
    temperature_ = std::min(temperature_, settings_.AmbientCelsius + MaximumRiseKelvin);
}

}  // namespace voltrex::simulator
