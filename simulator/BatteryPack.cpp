#include "simulator/BatteryPack.h"

#include <algorithm>
#include <cmath>

namespace voltrex::simulator {

BatteryPack::BatteryPack(const Settings& settings)
    : settings_(settings),
      cell_(&CellDataOf(settings.Type)),
      resistancePerCell_(settings.ResistancePerCell > 0.0 ? settings.ResistancePerCell
                                                          : cell_->ResistancePerCell),
      heatCapacity_(cell_->HeatCapacityPerAmpHour * std::max(settings.CapacityMah, 1.0) / 1000.0),
      stateOfCharge_(std::clamp(settings.StateOfCharge, cell_->MinimumStateOfCharge,
                                cell_->MaximumStateOfCharge)),
      temperature_(settings.AmbientCelsius) {
    settings_.Cells = std::max(settings_.Cells, 1);
    settings_.CapacityMah = std::max(settings_.CapacityMah, 1.0);
}

double BatteryPack::OpenCircuitVoltage() const {
    return cell_->OpenCircuitVoltage.At(stateOfCharge_) * settings_.Cells;
}

double BatteryPack::TerminalVoltage() const {
    const double cell = cell_->OpenCircuitVoltage.At(stateOfCharge_) +
                        cell_->VoltsPerKelvin * (temperature_ - settings_.AmbientCelsius) -
                        current_ * resistancePerCell_ - polarisation_ + overpotential_;
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
    stateOfCharge_ = std::clamp(stateOfCharge_ + stored * h / capacityAs,
                                cell_->MinimumStateOfCharge, cell_->MaximumStateOfCharge);

    // Polarisation: the RC pair, solved exactly over the step so that any step
    // length is stable.
    const double r1 = resistancePerCell_ * PolarisationRatio;
    const double target = current * r1;
    polarisation_ = target + (polarisation_ - target) * std::exp(-h / PolarisationSeconds);

    // Charging overpotential, following its target with its own time constant.
    const double opTarget = charging > 0.0 ? cell_->ChargeOverpotential.At(stateOfCharge_) : 0.0;
    overpotential_ =
        opTarget + (overpotential_ - opTarget) * std::exp(-h / cell_->ChargeOverpotentialSeconds);

    // Heat per cell: resistive losses plus the unstored part of a charge, which
    // the cell turns into heat at about its own voltage.
    const double heat = current * current * resistancePerCell_ * (1.0 + PolarisationRatio) +
                        (1.0 - efficiency) * charging * cellOcv;
    const double rise = temperature_ - settings_.AmbientCelsius;
    const double cooling = rise * heatCapacity_ / CoolingSeconds;
    temperature_ += (heat - cooling) * h / heatCapacity_;
    temperature_ = std::min(temperature_, settings_.AmbientCelsius + MaximumRiseKelvin);
}

}  // namespace voltrex::simulator
